#pragma once

#include "journal/audittrail.h"

#include <QDialog>
#include <QSqlDatabase>
#include <QVector>

namespace Ui {
class AuditView;
}

// "Журнал изменений": the audit trail, newest first, filtered by device (part of its
// name), user and time (local times entered, compared in UTC); "Экспорт..." writes what is
// shown as a spreadsheet.
class AuditView : public QDialog {
    Q_OBJECT

public:
    // Records shown at most (the newest).
    static constexpr int maxShown = 10000;

    AuditView(const QSqlDatabase &database, QWidget *parent = nullptr);
    ~AuditView() override;

    AuditTrail::Filter filter() const;
    const QVector<AuditRecord> &shown() const { return m_records; }
    // Writes what is shown to `path`; false when it could not be written.
    bool exportTo(const QString &path);

public slots:
    void refresh();

private:
    Ui::AuditView *ui;
    QSqlDatabase m_database;
    QVector<AuditRecord> m_records;
};
