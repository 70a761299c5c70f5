#pragma once

#include "link/devicejob.h"

#include <QString>
#include <QVector>

// Lists one folder of the device ("GET FILE_LIST " + folder). The answer's lines become
// entries once the device has answered; a refused or failed listing gives none.
class FileListJob : public DeviceJob {
    Q_OBJECT

public:
    enum Step { List = 1 };

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

    FileListJob(Amodule *module, const QString &folder, QObject *parent = nullptr);
    ~FileListJob() override;

    QString folder() const { return dir; }
    // The folder's entries, once the job is done.
    QVector<Entry> entries() const { return list; }

protected:
    void begin() override;
    void abort() override;

private:
    QString dir;
    QVector<Entry> list;
};
