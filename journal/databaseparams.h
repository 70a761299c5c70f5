#pragma once

#include "journal/databasewrapper.h"

// The parameter database ("params.sqlite"): the history of measured parameter values
// per device, kept by the central unit window.
class DatabaseParams : public DatabaseWrapper {
    Q_OBJECT

public:
    explicit DatabaseParams(const QString &fileName = QStringLiteral("params.sqlite"),
                            QObject *parent = nullptr);

    bool insertParam(int deviceId, const QString &name, const QString &value,
                     const QDateTime &time);
    // The value and time of the newest record of a parameter; false when there is none.
    bool lastParam(int deviceId, const QString &name, QString &value, QDateTime &time);
};
