#include "app/auditview.h"
#include "ui_auditview.h"

#include "gui/filedialogs.h"
#include "gui/messageboxes.h"
#include "journal/auditxlsx.h"

#include <QHeaderView>

AuditView::AuditView(const QSqlDatabase &database, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AuditView)
    , m_database(database)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("auditView"));
    const QDateTime now = QDateTime::currentDateTime();
    ui->dateTimeEditFrom->setDateTime(now.addDays(-7));
    ui->dateTimeEditTo->setDateTime(now.addSecs(3600));
    const QStringList columns = AuditXlsx::columns();
    ui->tableWidgetRecords->setColumnCount(columns.size());
    ui->tableWidgetRecords->setHorizontalHeaderLabels(columns);
    ui->tableWidgetRecords->horizontalHeader()->setStretchLastSection(true);
    connect(ui->pushButtonApply, &QPushButton::clicked, this, &AuditView::refresh);
    connect(ui->lineEditDevice, &QLineEdit::returnPressed, this, &AuditView::refresh);
    connect(ui->lineEditUser, &QLineEdit::returnPressed, this, &AuditView::refresh);
    connect(ui->pushButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->pushButtonExport, &QPushButton::clicked, this, [this] {
        const QString path = FileDialogs::saveFile(
            this, QStringLiteral("auditExportDialog"), QStringLiteral("Экспорт журнала изменений"),
            QStringLiteral("audit.xlsx"), QStringLiteral("*.xlsx"));
        if (path.isEmpty())
            return;
        if (exportTo(path))
            MessageBoxes::done(
                this, QStringLiteral("Журнал изменений записан в файл ") + path + QLatin1Char('.'));
        else
            MessageBoxes::error(
                this, QStringLiteral("Не удалось записать файл ") + path + QLatin1Char('.'));
    });
    refresh();
}

AuditView::~AuditView()
{
    delete ui;
}

AuditTrail::Filter AuditView::filter() const
{
    AuditTrail::Filter filter;
    filter.device = ui->lineEditDevice->text().trimmed();
    filter.user = ui->lineEditUser->text().trimmed();
    if (ui->checkBoxFrom->isChecked())
        filter.from = ui->dateTimeEditFrom->dateTime();
    if (ui->checkBoxTo->isChecked())
        filter.to = ui->dateTimeEditTo->dateTime();
    filter.limit = maxShown;
    return filter;
}

void AuditView::refresh()
{
    bool ok = true;
    QString error;
    m_records = AuditTrail::read(m_database, filter(), &ok, &error);
    QTableWidget *table = ui->tableWidgetRecords;
    table->setRowCount(m_records.size());
    for (int row = 0; row < m_records.size(); ++row) {
        const AuditRecord &record = m_records.at(row);
        const QDateTime time = AuditRecord::parseTime(record.time);
        const QStringList texts {
            QString::number(record.sequence),
            time.isValid() ? time.toLocalTime().toString(QStringLiteral("hh:mm:ss.zzz dd.MM.yyyy"))
                           : record.time,
            record.user.isEmpty() ? QStringLiteral("—") : record.user,
            record.host,
            record.device,
            record.action,
            record.details,
            record.hash};
        for (int column = 0; column < texts.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
    }
    ui->labelSummary->setText(ok ? QStringLiteral("Записей: %1").arg(m_records.size())
                                 : QStringLiteral("Журнал изменений не прочитан: ") + error);
}

bool AuditView::exportTo(const QString &path)
{
    return AuditXlsx::write(m_records, path);
}
