#include "app/historyview.h"
#include "ui_historyview.h"

#include "app/historytablemodel.h"
#include "app/journalexportcommand.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "monitor/journaldevices.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QHeaderView>
#include <QSet>

namespace {

constexpr int textDelayMs = 300;

enum class Kind { All, Faults, Clears, Connection, Acknowledgements };

} // namespace

HistoryView::HistoryView(JournalExportCommand *exporter, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HistoryView)
    , m_model(new HistoryTableModel(this))
    , m_exporter(exporter)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("historyView"));
    ui->tableViewHistory->setModel(m_model);
    ui->tableViewHistory->verticalHeader()->hide();
    ui->tableViewHistory->horizontalHeader()->setStretchLastSection(true);
    // The time texts are all alike: sized to them (the rows read so far, at most a page).
    ui->tableViewHistory->horizontalHeader()->setSectionResizeMode(HistoryTableModel::TimeColumn,
                                                                   QHeaderView::ResizeToContents);
    ui->tableViewHistory->setColumnWidth(HistoryTableModel::DeviceColumn, 320);
    ui->tableViewHistory->setColumnWidth(HistoryTableModel::LocationColumn, 200);

    const QDateTime now = QDateTime::currentDateTime();
    ui->dateTimeEditFrom->setDateTime(QDateTime(now.date(), QTime(0, 0)));
    ui->dateTimeEditTo->setDateTime(QDateTime(now.date(), QTime(23, 59, 59)));
    ui->dateTimeEditFrom->setEnabled(false);
    ui->dateTimeEditTo->setEnabled(false);

    ui->comboBoxKind->addItem(QStringLiteral("Все события"), int(Kind::All));
    ui->comboBoxKind->addItem(QStringLiteral("Неисправности"), int(Kind::Faults));
    ui->comboBoxKind->addItem(QStringLiteral("Восстановления"), int(Kind::Clears));
    ui->comboBoxKind->addItem(QStringLiteral("Связь"), int(Kind::Connection));
    ui->comboBoxKind->addItem(QStringLiteral("Подтверждения"), int(Kind::Acknowledgements));

    m_textDelay.setSingleShot(true);
    m_textDelay.setInterval(textDelayMs);
    connect(&m_textDelay, &QTimer::timeout, this, &HistoryView::applyFilter);
    connect(ui->lineEditText, &QLineEdit::textChanged, this, [this] { m_textDelay.start(); });
    connect(ui->checkBoxFrom, &QCheckBox::toggled, ui->dateTimeEditFrom, &QWidget::setEnabled);
    connect(ui->checkBoxTo, &QCheckBox::toggled, ui->dateTimeEditTo, &QWidget::setEnabled);
    for (QCheckBox *box : {ui->checkBoxFrom, ui->checkBoxTo, ui->checkBoxUnseen})
        connect(box, &QCheckBox::toggled, this, &HistoryView::applyFilter);
    for (QDateTimeEdit *edit : {ui->dateTimeEditFrom, ui->dateTimeEditTo})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, &HistoryView::applyFilter);
    for (QComboBox *combo : {ui->comboBoxDevice, ui->comboBoxKind})
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &HistoryView::applyFilter);
    connect(ui->pushButtonHistoryRefresh, &QPushButton::clicked, m_model,
            &HistoryTableModel::reload);
    connect(ui->pushButtonHistoryExport, &QPushButton::clicked, this, &HistoryView::exportShown);
    connect(m_model, &HistoryTableModel::reloaded, this, &HistoryView::showState);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &HistoryView::showState);
    showState();
}

HistoryView::~HistoryView()
{
    delete ui;
}

void HistoryView::setProject(ProjectModel *project)
{
    m_project = project;
    fillDeviceChoices();
    DatabaseLog *log = project ? project->logDb : nullptr;
    if (log && !log->indexesReady())
        connect(log, &DatabaseLog::indexesBuilt, m_model, &HistoryTableModel::reload,
                Qt::UniqueConnection);
    m_model->setJournal(log, JournalDevices::snapshot(project));
    applyFilter();
}

void HistoryView::fillDeviceChoices()
{
    const QSignalBlocker blocker(ui->comboBoxDevice);
    ui->comboBoxDevice->clear();
    ui->comboBoxDevice->addItem(QStringLiteral("Все устройства"), QString());
    if (!m_project)
        return;
    const QList<ProjectDevice *> devices = m_project->allDevices();
    QList<int> types;
    for (const ProjectDevice *device : devices) {
        if (!types.contains(device->type))
            types << device->type;
    }
    std::sort(types.begin(), types.end());
    for (const int type : qAsConst(types))
        ui->comboBoxDevice->addItem(QStringLiteral("Тип: ") + deviceTypeName(type),
                                    QStringLiteral("type:%1").arg(type));
    QStringList groups;
    for (const ProjectGroup *group : m_project->allGroups()) {
        if (!groups.contains(group->name))
            groups << group->name;
    }
    for (const QString &name : qAsConst(groups))
        ui->comboBoxDevice->addItem(QStringLiteral("Группа: ") + name,
                                    QStringLiteral("group:") + name);
    for (const ProjectDevice *device : devices)
        ui->comboBoxDevice->addItem(
            deviceTitle(device) +
                (device->tag.isEmpty() ? QString() : QStringLiteral(" - ") + device->tag),
            QStringLiteral("device:%1").arg(device->serial));
}

JournalFilter HistoryView::currentFilter() const
{
    JournalFilter filter;
    if (ui->checkBoxFrom->isChecked())
        filter.fromKey = JournalFilter::timeKey(ui->dateTimeEditFrom->dateTime());
    if (ui->checkBoxTo->isChecked())
        filter.toKey = JournalFilter::timeKey(ui->dateTimeEditTo->dateTime());
    filter.unacknowledgedOnly = ui->checkBoxUnseen->isChecked();

    const QString device = ui->comboBoxDevice->currentData().toString();
    if (m_project && !device.isEmpty()) {
        const QString value = device.section(QLatin1Char(':'), 1);
        if (device.startsWith(QLatin1String("type:")))
            filter.restrictDevices(JournalDevices::ofType(m_project, value.toInt()));
        else if (device.startsWith(QLatin1String("group:")))
            filter.restrictDevices(JournalDevices::inGroup(m_project, value));
        else
            filter.restrictDevices(JournalDevices::withSerial(m_project, value.toUInt()));
    }
    switch (Kind(ui->comboBoxKind->currentData().toInt())) {
    case Kind::All:
        break;
    case Kind::Faults:
        filter.restrictCodes(EventCode::codesOf(EventCode::Kind::Fault));
        break;
    case Kind::Clears:
        filter.restrictCodes(EventCode::codesOf(EventCode::Kind::Clear));
        break;
    case Kind::Connection:
        filter.restrictCodes(EventCode::codesOf(EventCode::Kind::Connection));
        break;
    case Kind::Acknowledgements:
        filter.restrictCodes(EventCode::codesOf(EventCode::Kind::Acknowledgement));
        break;
    }
    const QString text = ui->lineEditText->text().trimmed();
    if (!text.isEmpty())
        filter.restrictCodes(EventCode::codesWithText(text));
    return filter;
}

void HistoryView::applyFilter()
{
    m_textDelay.stop();
    if (isVisible())
        m_model->setFilter(currentFilter());
}

void HistoryView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Shown again: the records written meanwhile are read.
    m_model->setFilter(currentFilter());
}

void HistoryView::showState()
{
    const bool available = m_model->isAvailable();
    ui->pushButtonHistoryExport->setEnabled(available && m_exporter && m_model->rowCount() > 0);
    if (!m_model->error().isEmpty())
        ui->labelHistoryState->setText(m_model->error());
    else
        ui->labelHistoryState->setText(QStringLiteral("Показано записей: %1%2")
                                           .arg(m_model->rowCount())
                                           .arg(m_model->canFetchMore(QModelIndex())
                                                    ? QStringLiteral(" (есть ещё)")
                                                    : QString()));
}

void HistoryView::exportShown()
{
    if (!m_exporter || !m_project)
        return;
    const JournalFilter filter = m_model->filter();
    m_exporter->run(m_project, &filter);
}
