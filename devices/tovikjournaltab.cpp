#include "devices/tovikjournaltab.h"

#include "gui/filedialogs.h"
#include "gui/messageboxes.h"
#include "jobs/unitjournalreadjob.h"
#include "link/tovikstatus.h"
#include "link/unitjournalexport.h"

#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>

namespace {

const char readTitle[] = "Чтение журнала";

} // namespace

TovikJournalTab::TovikJournalTab(QWidget *form, QWidget *window, Amodule *module,
                                 QSettings *settings, const Host &host, QObject *parent)
    : QObject(parent)
    , window(window)
    , module(module)
    , settings(settings)
    , host(host)
    , table(form->findChild<QTableWidget *>(QStringLiteral("tableJournal")))
    , countLabel(form->findChild<QLabel *>(QStringLiteral("labelJournalRecordCount")))
{
    table->setEnabled(true);
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Время"), QStringLiteral("Тип"), QStringLiteral("Событие")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 180);
    table->setColumnWidth(1, 100);
    const auto button = [form](const char *name) {
        auto *found = form->findChild<QPushButton *>(QLatin1String(name));
        found->setEnabled(true);
        return found;
    };
    // Closing the window stops a read at once, not when the window is finally deleted.
    window->installEventFilter(this);
    connect(button("pushButtonStartJournalRead"), &QPushButton::clicked, this,
            [this] { on_pushButtonStartJournalRead_clicked(); });
    connect(button("pushButtonJournalSave"), &QPushButton::clicked, this,
            [this] { on_pushButtonJournalSave_clicked(); });
    connect(button("pushButtonJournalClear"), &QPushButton::clicked, this,
            [this] { on_pushButtonJournalClear_clicked(); });
}

TovikJournalTab::~TovikJournalTab()
{
    // A read still running stops here: nothing more is asked of the unit.
    delete job.data();
}

void TovikJournalTab::showStatus(const TovikStatus &status)
{
    countLabel->setText(status.hasJournal ? QStringLiteral("Записей в журнале: ") +
                                QString::number(status.journalCount)
                                          : QStringLiteral("Записей в журнале: неизвестно"));
}

bool TovikJournalTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && event->type() == QEvent::Close)
        cancel();
    return false;
}

bool TovikJournalTab::isReading() const
{
    return job && job->isRunning();
}

bool TovikJournalTab::cancel()
{
    if (!isReading())
        return false;
    job->cancel();
    return true;
}

void TovikJournalTab::showLater(const std::function<void()> &show)
{
    // Once the reaction that decided it has returned.
    QTimer::singleShot(0, this, show);
}

void TovikJournalTab::on_pushButtonStartJournalRead_clicked()
{
    if (job || !host.canRead())
        return;
    table->setRowCount(0);
    job = new UnitJournalReadJob(module, this);
    connect(job, &DeviceJob::progress, this,
            [this](qint64 done, qint64 total) { host.transferProgress(done, total); });
    connect(job, &DeviceJob::finished, this,
            [this](const DeviceJob::Result &result) { onReadFinished(result); });
    host.beginTransfer(QStringLiteral("Чтение журнала..."), 0);
    job->start();
}

void TovikJournalTab::onReadFinished(const DeviceJob::Result &result)
{
    const QVector<UnitJournalRecord> records = job->records();
    job->deleteLater();
    job = nullptr;
    host.endTransfer();
    qDebug().noquote() << "Journal:" << result.message;
    switch (result.status) {
    case DeviceJob::Status::Cancelled:
        return;
    case DeviceJob::Status::Done:
        break;
    default:
        showLater(
            [this] { MessageBoxes::error(window, QStringLiteral("Ошибка чтения журнала.")); });
        return;
    }
    if (records.isEmpty()) {
        showLater([this] {
            MessageBoxes::information(window, QString::fromUtf8(readTitle),
                                      QStringLiteral("В журнале отсутствуют записи."));
        });
        return;
    }
    table->setRowCount(records.size());
    for (int row = 0; row < records.size(); ++row) {
        const UnitJournalRecord &record = records.at(row);
        const QStringList texts = UnitJournalExport::rowTexts(record);
        for (int column = 0; column < 3; ++column) {
            auto *item = new QTableWidgetItem(texts.at(column));
            if (column == 1)
                item->setForeground(QColor(QRgb(record.typeColor())));
            table->setItem(row, column, item);
        }
    }
    showLater([this] {
        MessageBoxes::information(window, QString::fromUtf8(readTitle),
                                  QStringLiteral("Чтение журнала завершено."));
    });
}

void TovikJournalTab::on_pushButtonJournalSave_clicked()
{
    // A table without records is no journal to save: no file is written.
    if (table->rowCount() == 0) {
        MessageBoxes::information(window, QStringLiteral("Сохранение журнала"),
                                  QStringLiteral("Нет записей для экспорта"));
        return;
    }
    const QString folder = settings
        ? settings->value(QStringLiteral("paths/savejournalpath"), QString()).toString()
        : QString();
    const QString fileName = FileDialogs::saveFile(
        window, QStringLiteral("unitJournalFileDialog"), QStringLiteral("Сохранить журнал..."),
        UnitJournalExport::proposedFileName(folder, host.serial(), QDate::currentDate()),
        QStringLiteral("Файлы Excel (*.xlsx)"));
    if (fileName.isEmpty())
        return;
    qDebug().noquote() << QStringLiteral("Selected journal file ") + fileName;
    if (settings)
        settings->setValue(QStringLiteral("paths/savejournalpath"),
                           QFileInfo(fileName).absolutePath());
    QVector<QStringList> rows;
    rows.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList texts;
        for (int column = 0; column < 3; ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            texts << (item ? item->text() : QString());
        }
        rows.append(texts);
    }
    if (!UnitJournalExport::write(fileName, rows, host.deviceType(), host.serial())) {
        MessageBoxes::error(window, QStringLiteral("Ошибка при создании файла."));
        return;
    }
    MessageBoxes::done(window,
                       QStringLiteral("Журнал сохранён в файл ") + QFileInfo(fileName).fileName() +
                           QLatin1Char('.'));
}

void TovikJournalTab::on_pushButtonJournalClear_clicked()
{
    if (job || !host.canRead())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Очистка журнала"),
                    QStringLiteral("Журнал событий будет очищен.\nВы уверены?"),
                    QMessageBox::NoButton, window);
    QPushButton *yes = box.addButton(QStringLiteral("Да, очистить"), QMessageBox::AcceptRole);
    QPushButton *no = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() != yes)
        return;
    DescriptorWrites::Write clear;
    clear.name = QStringLiteral("desc_JournalClearCmd");
    clear.value = QStringLiteral("1");
    clear.label = QStringLiteral("Очистка журнала");
    clear.confirmed = [this] {
        // The unit has emptied its journal: the table goes, and the count comes with the
        // status answer asked for now.
        table->setRowCount(0);
        host.pollStatus();
    };
    host.startWrites({clear}, QStringLiteral("Журнал очищен."));
}
