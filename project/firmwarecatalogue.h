#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The firmware files offered for update: every regular file directly inside the
// firmware folder (AppPaths::firmwareFolder(): "firmware" beside the executable of a
// portable copy).
class FirmwareCatalogue {
public:
    // (display name, full path) pairs; the display name drops ".norda" and shows
    // "_" as ".", so tovik2_3_14.norda is listed as tovik2.3.14.
    static QList<QPair<QString, QString>> scan();
    static QList<QPair<QString, QString>> scan(const QString &folder);

    static QString displayName(const QString &fileName);
    static QString defaultFolder();
};
