#pragma once

#include "link/initext.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Which stored audio files a device plays for its alarm signals: keys "file_1" and
// "file_2" (device paths, "0:\audio\siren.wav") of one group of the device's "0:\config.ini"
// ("audiofiles" on the IP console, "pult_files" on the loudspeaker and the media
// converter); a central unit has five signals in its group "assign" ("message1",
// "message2", "siren", "gong", "test"). Held in memory: the window gives it the file it downloaded
// and uploads what compose() makes of it; no local file is written.
class AssignmentConfig {
public:
    // The group of a device type.
    static QString groupForType(int deviceType);
    // The keys of signals 1, 2, ... of a device type.
    static QStringList keysForType(int deviceType);

    explicit AssignmentConfig(const QString &group,
                              const QStringList &keys = {QStringLiteral("file_1"),
                                                         QStringLiteral("file_2")});
    int signalCount() const { return m_keys.size(); }

    QString group() const { return m_group; }

    // The config.ini last downloaded (Windows-1251 bytes); until one is given the file is
    // empty, as on a device that has none.
    void setDownloaded(const QByteArray &bytes);
    QByteArray downloaded() const { return m_downloaded.bytes(); }

    // The device path assigned to signal 1, 2, ...; empty when none is.
    QString assignment(int signal) const;

    // The config.ini to upload: the one downloaded last with only "file_1" and "file_2" of
    // the group changed (an empty path removes the key; the group is added when missing).
    // False, with the reason, when a path cannot be written so that it reads back the same
    // (a character the file cannot carry, or a value before it in the file that runs on).
    bool compose(const QString &file1, const QString &file2, QByteArray *bytes,
                 QString *error = nullptr) const;
    // The same for every signal: `paths` holds the path of signal 1, 2, ... in order.
    bool compose(const QStringList &paths, QByteArray *bytes, QString *error = nullptr) const;

private:
    QString keyOf(int signal) const;

    QString m_group;
    QStringList m_keys;
    IniText m_downloaded;
};
