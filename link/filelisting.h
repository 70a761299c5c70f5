#pragma once

#include <QString>
#include <QVector>

// The answer to "GET FILE_LIST " + folder: one entry per line.
class FileListing {
public:
    struct Entry {
        QString name;
        // The device path: the folder, "\" and the name ("0:\audio\siren.wav").
        QString path;
        // In bytes; -1 when the device gave none (always for a folder).
        qint64 size = -1;
        bool folder = false;
    };

    // The entries of a FILE_LIST answer. One entry per line: a line that begins with "/"
    // names a folder (the rest of the line); any other line is a file name, optionally
    // followed by a tab and its size in bytes (whatever follows a second tab is ignored).
    // Lines end with "\r\n" (a bare "\n" ends one too); empty lines, lines without a name,
    // names that would leave the folder ("." , "..", or holding "\" or "/") and names that
    // no request line could carry (a carriage return inside) are skipped; a size that is not
    // a whole number of bytes counts as none.
    static QVector<Entry> parse(const QString &folder, const QString &answer);
};
