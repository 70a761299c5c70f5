#pragma once

#include "link/deviceconfigtable.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

// A device's configuration as one JSON file:
//
//   {
//     "format": "norda-device-backup", "version": 1,
//     "type": "tovik2", "typeCode": 1, "serial": 2002, "firmware": "1.0.0",
//     "time": "2026-12-07T04:30:00Z",
//     "values": {"IpAddress": "127.0.0.3", "PpkCtrlEnable[0]": "нет", ...},
//     "files": {"0:\\config.ini": "<base64>", ...}
//   }
//
// `values` holds every descriptor of the type's read-all list as the device answered it
// (names without "desc_"); `files` the configuration files by device path. A file that is
// loaded is checked whole: anything unexpected is refused with one English line that says
// what, and nothing of it is used.
struct DeviceBackup {
    static const QString formatName; // "norda-device-backup"
    static constexpr int formatVersion = 1;
    // No backup is larger: a larger file is refused before it is parsed.
    static constexpr qint64 maxFileSize = 16 * 1024 * 1024;
    // Longest value text; descriptor values are short lines.
    static constexpr int maxValueLength = 4096;

    QString typeKey;
    int typeCode = 0;
    quint32 serial = 0;
    QString firmware;
    QDateTime time;
    QMap<QString, QString> values;
    QMap<QString, QByteArray> files;

    // The rules by which a restore takes a backup's value; a backup is saved only when every
    // value keeps them, so that what is saved can be restored. Every value: a line of at
    // most maxValueLength characters that a request line can carry (otherwise false, and
    // `why` says which rule it breaks).
    static bool valueTextOk(const QString &text, QString *why = nullptr);
    // A value the restore writes in `form`: the text it sends for it, which must be one
    // (not empty, not an error answer, of its form) that a request line can carry.
    static bool writableValue(DeviceConfigTable::Form form, const QString &text, QString *written);

    QByteArray toJson() const;
    // False with `error` set when the text is no backup this program can use.
    static bool fromJson(const QByteArray &json, DeviceBackup *backup, QString *error);
    // Reads and checks a backup file.
    static bool load(const QString &path, DeviceBackup *backup, QString *error);
    // Writes the file whole (a partly written file never takes the name).
    bool save(const QString &path, QString *error) const;
};
