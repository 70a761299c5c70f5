#pragma once

#include "jobs/devicerestorejob.h"

#include <QDialog>
#include <QList>

class QTableWidget;

// Shows what a restore would write: one row per difference, the value as the device holds
// it now and as the file holds it. "Записать" accepts, "Отмена" rejects.
class BackupDiffDialog : public QDialog {
    Q_OBJECT

public:
    BackupDiffDialog(const QList<DeviceRestoreJob::Difference> &differences, const QString &message,
                     QWidget *parent = nullptr);

private:
    QTableWidget *table = nullptr;
};
