#pragma once

#include "journal/databasewrapper.h"

#include <QList>
#include <QPair>

// The parameter database ("params.sqlite"): the history of measured parameter values
// per device, kept by the central unit window.
class DatabaseParams : public DatabaseWrapper {
    Q_OBJECT

public:
    explicit DatabaseParams(const QString &fileName = QStringLiteral("params.sqlite"),
                            QObject *parent = nullptr);
    explicit DatabaseParams(const JournalLocation &location, QObject *parent = nullptr);

    bool insertParam(int deviceId, const QString &name, const QString &value,
                     const QDateTime &time);
    // Several parameters of one device stored together at `time`, in one transaction: all
    // of them or none. False when any insert or the commit failed (nothing is stored then)
    // or the database is not open.
    bool insertParams(int deviceId, const QList<QPair<QString, QString>> &values,
                      const QDateTime &time);
    // The value and time of the newest record of a parameter; false when there is none.
    bool lastParam(int deviceId, const QString &name, QString &value, QDateTime &time);

private:
    bool insertOne(int deviceId, const QString &name, const QString &value, const QDateTime &time);
};
