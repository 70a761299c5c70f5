#pragma once

#include "link/filelisting.h"

#include <QLocale>
#include <QString>
#include <QVector>

// Paths on a device and as the windows show them. A device names its internal flash "0:"
// and its memory card "1:"; the windows show "flash:" and "SD:" and convert back before a
// path is sent.
class DevicePaths {
public:
    static const QString audioFolder; // "0:\audio"
    static const QString configFile; // "0:\config.ini"
    static const QString keyFile; // "0:\keys\key_cfg.bin"

    // "0:\audio\" + name.
    static QString audioFile(const QString &name);
    // "0:..." -> "flash:...", "1:..." -> "SD:..."; any other text stays as it is.
    static QString toDisplay(const QString &devicePath);
    // "flash:..." -> "0:...", "SD:..." -> "1:..."; any other text stays as it is.
    static QString toDevice(const QString &displayPath);

    // One row of a window's file table.
    struct Row {
        QString devicePath;
        QString displayPath;
        // The size as DataSize writes it ("1,50 МБ"); empty for a folder, a file without a
        // size and a size below 1 byte.
        QString sizeText;
        bool folder = false;
    };
    // The rows of a folder listing (FileListing::parse), in the listing's order.
    static QVector<Row> rows(const QVector<FileListing::Entry> &entries);
};
