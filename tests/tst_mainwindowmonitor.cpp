// The main window together with the status polling, the journal tab and the export,
// against simulated devices answering over loopback HTTP.

#include "guitest.h"
#include "testutil.h"

#include "app/deviceinfoitemmodel.h"
#include "app/failitemdelegate.h"
#include "app/failitemdescriptor.h"
#include "app/journalexportcommand.h"
#include "app/logitemdelegate.h"
#include "app/logtreeview.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "gui/counterlabel.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QLabel>
#include <QNetworkDatagram>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

using namespace GuiTest;

namespace {

const char answering[] = "127.0.9.2";
const char silent[] = "127.0.9.3";

int eventsOf(DatabaseLog *log, int deviceId, int code)
{
    return TestUtil::eventCodes(log, deviceId).count(code);
}

// Message boxes of the window that are shown.
int shownBoxes(QWidget *window, const char *name)
{
    int shown = 0;
    for (QMessageBox *box : window->findChildren<QMessageBox *>(QLatin1String(name)))
        shown += box->isVisible() ? 1 : 0;
    return shown;
}

} // namespace

class TestMainWindowMonitor : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // The window's project keeps its journals in the working folder: a fresh one each.
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());

        m_simulator.reset(new Simulator);
        m_simAnswering = m_simulator->addDevice(QStringLiteral("horn:901@") + answering);
        QVERIFY(m_simAnswering);
        QVERIFY(m_simulator->addDevice(QStringLiteral("horn:902@") + silent));
        m_server.reset(new SimStatusServer(m_simulator.get(), TestUtil::freePort(answering)));
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        m_server->setBehaviour(m_simulator->deviceBySerial(902),
                               SimStatusServer::Behaviour::Silent);
    }

    void cleanup()
    {
        endPendingWatches();
        m_server.reset();
        m_simulator.reset();
        m_dir.reset();
    }

    void lanSearchAcceptsStatus()
    {
        auto window = makeWindow(false);
        ProjectDevice *horn = window->project()->findDeviceBySerial(901);
        QVERIFY(!horn->netFound);
        m_simAnswering->version = QStringLiteral("2.7.1");

        QSignalSpy requests(m_server.get(), &SimStatusServer::requestReceived);
        child<QPushButton>(window.get(), "pushButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(horn->netFound, 10000);
        QCOMPARE(horn->firmwareVersion, QStringLiteral("2.7.1"));
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 2, 10000);
        // Only the devices with Ethernet are asked, each once; the configuration window's
        // timer asks nobody.
        QSet<int> asked;
        for (const QList<QVariant> &request : requests)
            asked << request.at(0).value<SimDevice *>()->serial;
        QCOMPARE(asked, QSet<int>({901, 902}));
        window->setTickInterval(50);
        QSignalSpy ticks(window->statusPoller(), &StatusPoller::countersChanged);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 10000);
        QCOMPARE(requests.count(), 2);
    }

    void countersAndLostConnection()
    {
        m_simAnswering->errors = QStringList {QStringLiteral("tamper")};
        auto window = makeWindow(true);
        ProjectModel *project = window->project();
        QVERIFY(project->logDb);
        ProjectDevice *horn = project->findDeviceBySerial(901);
        ProjectDevice *quiet = project->findDeviceBySerial(902);
        QVERIFY(window->findChild<QRadioButton *>(QStringLiteral("radioButtonRun"))->isChecked());

        // The silent device was last heard of long ago.
        quiet->lastSeen = QDateTime::currentDateTime().addSecs(-30);
        window->on_requestPeriodicalTimer();
        QTRY_VERIFY_WITH_TIMEOUT(horn->netFound, 10000);
        window->on_requestPeriodicalTimer();

        // Three devices: the silent one is not connected (the one without Ethernet was only
        // just created); the answering one reports its housing opened.
        QCOMPARE(child<QLabel>(window.get(), "labelAllDevices")->text(),
                 QStringLiteral("Всего устройств: 3"));
        QCOMPARE(child<QLabel>(window.get(), "labelNoConnDevices")->text(),
                 QStringLiteral("Нет связи: 1"));
        QCOMPARE(child<QLabel>(window.get(), "labelMalfDevices")->text(),
                 QStringLiteral("Неисправных: 1"));
        QCOMPARE(child<QLabel>(window.get(), "labelTamperDevices")->text(),
                 QStringLiteral("НСД: 1"));
        QVERIFY(CounterLabel::isHighlighted(child<QLabel>(window.get(), "labelNoConnDevices")));
        QVERIFY(CounterLabel::isHighlighted(child<QLabel>(window.get(), "labelTamperDevices")));
        QVERIFY(!CounterLabel::isHighlighted(child<QLabel>(window.get(), "labelAllDevices")));

        // One lost event however many ticks pass, and the tamper event of the other device.
        window->on_requestPeriodicalTimer();
        QCOMPARE(eventsOf(project->logDb, quiet->id_obj, EventCode::ConnectionLost), 1);
        QCOMPARE(eventsOf(project->logDb, horn->id_obj, EventCode::Tamper), 1);
        const int unseen = project->logDb->eventCount(0);
        QVERIFY(unseen >= 2);
        QCOMPARE(child<QLabel>(window.get(), "labelBaseRecordActual")->text(),
                 QStringLiteral("Актуальных: %1").arg(unseen));

        // The housing is closed again: the counters go back to black.
        m_simAnswering->errors.clear();
        const QDateTime before = horn->lastSeen;
        window->on_requestPeriodicalTimer();
        QTRY_VERIFY_WITH_TIMEOUT(horn->lastSeen > before && horn->faults.isEmpty(), 10000);
        window->on_requestPeriodicalTimer();
        QCOMPARE(child<QLabel>(window.get(), "labelTamperDevices")->text(),
                 QStringLiteral("НСД: 0"));
        QVERIFY(!CounterLabel::isHighlighted(child<QLabel>(window.get(), "labelTamperDevices")));

        // In editing state the tick asks nobody.
        window->findChild<QRadioButton *>(QStringLiteral("radioButtonEdit"))->click();
        // Requests of the last polling ticks run out (the silent device's at its deadline).
        QTRY_COMPARE_WITH_TIMEOUT(window->statusPoller()->outstanding(), 0, 10000);
        QSignalSpy requests(m_server.get(), &SimStatusServer::requestReceived);
        window->setTickInterval(50);
        QSignalSpy ticks(window->statusPoller(), &StatusPoller::countersChanged);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 10000); // the window's own timer
        QCOMPARE(requests.count(), 0);
    }

    void acknowledgeAll()
    {
        m_simAnswering->errors = QStringList {QStringLiteral("tamper")};
        auto window = makeWindow(true);
        ProjectModel *project = window->project();
        ProjectDevice *horn = project->findDeviceBySerial(901);
        window->on_requestPeriodicalTimer();
        QTRY_VERIFY_WITH_TIMEOUT(!horn->status.isEmpty(), 10000);
        // What the list shows is acknowledged: the records of the answer are written.
        QTRY_COMPARE_WITH_TIMEOUT(project->logDb->pendingEvents(), 0, 10000);
        const int all = project->logDb->eventCount(-1);
        QVERIFY(project->logDb->eventCount(0) > 0);

        QPushButton *seen = child<QPushButton>(window.get(), "pushButtonClearErrorStack");
        QVERIFY(seen->isEnabled());
        seen->click();
        QCOMPARE(project->logDb->eventCount(0), 0);
        QCOMPARE(project->logDb->eventCount(-1), all + 1);
        QCOMPARE(eventsOf(project->logDb, -1, EventCode::Acknowledged), 1);
        QVERIFY(horn->status.isEmpty());
        QCOMPARE(child<QLabel>(window.get(), "labelBaseRecordActual")->text(),
                 QStringLiteral("Актуальных: 0"));
        QCOMPARE(child<QLabel>(window.get(), "labelBaseRecordAll")->text(),
                 QStringLiteral("Всего записей: %1").arg(all + 1));

        // The fault is still there: the next document records it again.
        window->on_requestPeriodicalTimer();
        QTRY_COMPARE_WITH_TIMEOUT(eventsOf(project->logDb, horn->id_obj, EventCode::Tamper), 2,
                                  10000);
    }

    void exportJournal()
    {
        auto window = makeWindow(true);
        ProjectModel *project = window->project();
        project->logDb->insertEvent(project->findDeviceBySerial(901)->id_obj, QString(),
                                    EventCode::Tamper, QDateTime::currentDateTime());

        const QString target = m_dir->filePath(QStringLiteral("out/журнал.xlsx"));
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("out"))));
        auto dialogSeen = std::make_shared<FileDialogSeen>();
        auto boxSeen = std::make_shared<BoxSeen>();
        auto dialogDone = acceptFileDialog(target, dialogSeen);
        auto boxDone = answerMessageBox(QMessageBox::Ok, boxSeen);
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QTRY_VERIFY(*dialogDone && *boxDone);
        QCOMPARE(dialogSeen->acceptMode, QFileDialog::AcceptSave);
        QCOMPARE(boxSeen->title, QStringLiteral("Выполнено"));
        QCOMPARE(boxSeen->text, QStringLiteral("Журнал сохранён в файл журнал.xlsx."));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("PK"));
        QCOMPARE(window->settings()->value(QStringLiteral("paths/savelogpath")).toString(),
                 QFileInfo(target).absolutePath());

        // The next export proposes that folder and today's name.
        auto proposal = std::make_shared<QString>();
        auto cancelled = onNextModal<QFileDialog>([proposal](QFileDialog *dialog) {
            *proposal = dialog->selectedFiles().value(0);
            dialog->reject();
        });
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QTRY_VERIFY(*cancelled);
        QCOMPARE(*proposal,
                 QFileInfo(target).absolutePath() + QStringLiteral("/Журнал_БД_") +
                     QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                     QStringLiteral(".xlsx"));
    }

    void exportFailureAndCancel()
    {
        auto window = makeWindow(true);
        // A journal with a record (an empty one is not exported at all).
        window->project()->logDb->insertEvent(1000, QString(), EventCode::Mains,
                                              QDateTime::currentDateTime());
        // Cancelled: nothing written, the folder setting unchanged.
        auto cancelled = cancelFileDialog();
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QTRY_VERIFY(*cancelled);
        QVERIFY(!window->settings()->contains(QStringLiteral("paths/savelogpath")));

        // A target that cannot be written (its folder does not exist) is reported.
        const QString target = m_dir->filePath(QStringLiteral("missing/x.xlsx"));
        auto boxSeen = std::make_shared<BoxSeen>();
        auto dialogDone = acceptFileDialog(target);
        auto boxDone = answerMessageBox(QMessageBox::Ok, boxSeen);
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QTRY_VERIFY(*dialogDone && *boxDone);
        QCOMPARE(boxSeen->title, QStringLiteral("Ошибка"));
        QCOMPARE(boxSeen->text, QStringLiteral("Ошибка при создании файла."));
        QVERIFY(!QFileInfo::exists(target));
    }

    // Leaving "Редактирование" after long is no loss: only time asked counts as silence.
    void editingIsNoSilence()
    {
        auto window = makeWindow(true);
        ProjectModel *project = window->project();
        ProjectDevice *horn = project->findDeviceBySerial(901);
        qint64 now = QDateTime::currentMSecsSinceEpoch();
        window->statusPoller()->setWallClock([&now] { return now; });
        window->on_requestPeriodicalTimer();
        QTRY_VERIFY_WITH_TIMEOUT(horn->netFound, 10000);
        window->findChild<QRadioButton *>(QStringLiteral("radioButtonEdit"))->click();
        for (int i = 0; i < 30; ++i) {
            now += 1000;
            window->on_requestPeriodicalTimer();
        }
        window->findChild<QRadioButton *>(QStringLiteral("radioButtonRun"))->click();
        now += 1000;
        window->on_requestPeriodicalTimer();
        QCOMPARE(eventsOf(project->logDb, horn->id_obj, EventCode::ConnectionLost), 0);
        QVERIFY(window->statusPoller()->isOnline(horn));
        const QDateTime asked = QDateTime::fromMSecsSinceEpoch(now);
        QTRY_VERIFY_WITH_TIMEOUT(horn->lastSeen == asked, 10000);
        QCOMPARE(eventsOf(project->logDb, horn->id_obj, EventCode::ConnectionRestored), 0);
    }

    // The export runs aside: the window polls and records meanwhile; a cancel leaves no
    // file and no message.
    // An empty journal is not exported: the user is told, and no file is asked for or
    // written.
    void exportEmptyJournal()
    {
        auto window = makeWindow(true);
        QCOMPARE(window->project()->logDb->eventCount(2), 0);
        const QString target = m_dir->filePath(QStringLiteral("empty.xlsx"));
        auto dialogSeen = acceptFileDialog(target);
        auto boxSeen = std::make_shared<BoxSeen>();
        auto boxDone = answerMessageBox(QMessageBox::Ok, boxSeen);
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QVERIFY(*boxDone);
        QCOMPARE(boxSeen->text, QStringLiteral("Нет записей для экспорта"));
        QVERIFY(!*dialogSeen);
        QVERIFY(!QFileInfo::exists(target));
        endPendingWatches();
    }

    void exportRunsAside_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("completed") << false;
        QTest::newRow("cancelled") << true;
    }

    void exportRunsAside()
    {
        QFETCH(bool, cancel);
        auto window = makeWindow(true);
        ProjectModel *project = window->project();
        ProjectDevice *horn = project->findDeviceBySerial(901);
        {
            DatabaseLog::Transaction history(project->logDb);
            for (int i = 0; i < 3000; ++i)
                project->logDb->insertEvent(1000 + i, QString(), EventCode::Mains,
                                            QDateTime::currentDateTime());
        }
        const QString target = m_dir->filePath(QStringLiteral("export.xlsx"));
        auto dialogDone = acceptFileDialog(target);
        auto boxSeen = std::make_shared<BoxSeen>();
        auto boxDone = answerMessageBox(QMessageBox::Ok, boxSeen);
        child<QPushButton>(window.get(), "pushButtonSaveErrorStack")->click();
        QVERIFY(*dialogDone);
        // Back at once, before the file is in place.
        auto *command = window->findChild<JournalExportCommand *>();
        QVERIFY(command && command->isRunning());
        QVERIFY(!QFileInfo::exists(target));
        auto *progress = window->findChild<QProgressDialog *>("journalExportProgress");
        QVERIFY(progress);
        if (cancel) {
            // "Отмена", pressed while the dialog waits to be shown.
            auto *button = progress->findChild<QPushButton *>();
            QVERIFY(button && button->text() == QStringLiteral("Отмена"));
            button->click();
        }

        // Meanwhile the window polls and records.
        m_simAnswering->errors = QStringList {QStringLiteral("tamper")};
        QSignalSpy inserted(project->logDb, &DatabaseLog::eventInserted);
        window->on_requestPeriodicalTimer();
        QTRY_VERIFY_WITH_TIMEOUT(eventsOf(project->logDb, horn->id_obj, EventCode::Tamper) == 1,
                                 10000);
        // and the journal view shows it among the newest rows.
        QAbstractItemModel *journal = window->journalView()->model();
        QStringList newest;
        for (int row = 0; row < 10; ++row)
            newest << LogItemDelegate::eventText(journal->index(row, 3).data().toInt());
        QVERIFY2(newest.contains(QStringLiteral("Несанкционированный доступ")),
                 qPrintable(newest.join(", ")));

        QTRY_VERIFY_WITH_TIMEOUT(!command->isRunning(), 30000);
        QVERIFY(!window->findChild<QProgressDialog *>("journalExportProgress"));
        if (cancel) {
            QVERIFY(!*boxDone);
            QVERIFY(!QFileInfo::exists(target));
            QCOMPARE(QDir(m_dir->path()).entryList({".*.xlsx"}, QDir::Files | QDir::Hidden),
                     QStringList());
        } else {
            QTRY_VERIFY(*boxDone);
            QCOMPARE(boxSeen->text, QStringLiteral("Журнал сохранён в файл export.xlsx."));
            QVERIFY(QFileInfo(target).size() > 0);
        }
    }

    // Writing the journal fails: one message, however many ticks fail; the events are
    // kept and written once writing works again.
    void journalWriteFailureShownOnce()
    {
        m_simAnswering->errors = QStringList {QStringLiteral("tamper")};
        auto window = makeWindow(true);
        window->setTickInterval(50);
        ProjectModel *project = window->project();
        DatabaseLog *log = project->logDb;
        ProjectDevice *horn = project->findDeviceBySerial(901);
        // No page can be added to the file any more.
        const int pages = TestUtil::sqlite3("log.sqlite", "PRAGMA page_count;").toInt();
        QVERIFY(log->exec(QStringLiteral("PRAGMA max_page_count=%1;").arg(pages)));
        QVERIFY(
            log->insertStatus(-5, QString(20000, QLatin1Char('x')), QDateTime::currentDateTime()));
        QTRY_COMPARE_WITH_TIMEOUT(shownBoxes(window.get(), "journalWriteFailure"), 1, 10000);
        QSignalSpy ticks(window->statusPoller(), &StatusPoller::countersChanged);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 10 && log->pendingEvents() > 0, 10000);
        QCOMPARE(shownBoxes(window.get(), "journalWriteFailure"), 1);
        QCOMPARE(TestUtil::sqlite3("log.sqlite", "SELECT count(*) FROM error_log;"), "0");

        QSignalSpy recovered(log, &DatabaseLog::writeRecovered);
        QVERIFY(log->exec("PRAGMA max_page_count=1073741823;"));
        QVERIFY(recovered.wait(10000));
        QCOMPARE(TestUtil::sqlite3(
                     "log.sqlite",
                     QStringLiteral("SELECT count(*) FROM error_log WHERE device_unique_id=%1 AND "
                                    "error_id=5;")
                         .arg(horn->id_obj)),
                 "1");
        QCOMPARE(shownBoxes(window.get(), "journalWriteFailure"), 1);
    }

    // The console ends on SIGTERM, SIGHUP and SIGINT as on a normal quit: the journal is
    // written and closed.
    void signalsEndTheConsoleAsAQuit()
    {
        m_simAnswering->errors = QStringList {QStringLiteral("tamper")};
        const QString console = QStringLiteral(NORDA_BINARY_DIR "/app/norda-console");
        QVERIFY2(QFileInfo::exists(console), "norda-console is not built");
        struct Run {
            int signalNumber;
            QString folder;
            std::unique_ptr<QProcess> process;
        };
        std::vector<Run> runs;
        for (int number : {SIGTERM, SIGHUP, SIGINT}) {
            // The console reads settings.ini beside its executable: a copy of its own.
            const QString folder = m_dir->filePath(QStringLiteral("console%1").arg(number));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::copy(console, folder + QStringLiteral("/norda-console")));
            ProjectModel project(ProjectModel::Journals::None);
            project.addDevice(nullptr, makeDevice(DeviceType::Horn, 901, false, 0, answering));
            windowSettings(folder, true, &project, {{"network/statusport", statusPort()}});
            auto process = std::make_unique<QProcess>();
            process->setWorkingDirectory(folder);
            process->setProcessChannelMode(QProcess::MergedChannels);
            process->start(folder + QStringLiteral("/norda-console"), QStringList());
            QVERIFY(process->waitForStarted());
            runs.push_back({number, folder, std::move(process)});
        }
        auto recorded = [](const QString &folder) {
            return TestUtil::sqlite3(folder + QStringLiteral("/log.sqlite"),
                                     "SELECT count(*) FROM error_log WHERE error_id=5;");
        };
        for (Run &run : runs) {
            QTRY_COMPARE_WITH_TIMEOUT(recorded(run.folder), QStringLiteral("1"), 20000);
            QCOMPARE(::kill(pid_t(run.process->processId()), run.signalNumber), 0);
        }
        for (Run &run : runs) {
            // The simulator keeps answering while the consoles shut down.
            QTRY_VERIFY_WITH_TIMEOUT(run.process->state() == QProcess::NotRunning, 20000);
            QCOMPARE(run.process->exitStatus(), QProcess::NormalExit);
            QCOMPARE(run.process->exitCode(), 0);
            // Closed properly: the write-ahead log was folded back and removed.
            QVERIFY(!QFileInfo::exists(run.folder + QStringLiteral("/log.sqlite-wal")));
            QCOMPARE(recorded(run.folder), QStringLiteral("1"));
            QVERIFY(TestUtil::sqlite3(run.folder + QStringLiteral("/log.sqlite"),
                                      "SELECT count(*) FROM status_log;")
                        .toInt() >= 1);
        }
    }

    // The console watching a small network while a timeline opens a line, opens a
    // housing, fails a console and an extension unit, clears most of it again and silences
    // a loudspeaker: counters, fault pane and journal follow.
    void timelineEndToEnd()
    {
        const char unitAddress[] = "127.0.9.5";
        const char hornAddress[] = "127.0.9.6";
        Simulator simulator;
        QVERIFY(simulator.addDevice(QStringLiteral("norda4200:4201@") + unitAddress));
        QVERIFY(simulator.addDevice(QStringLiteral("horn:702@") + hornAddress));
        SimStatusServer server(&simulator, TestUtil::freePort(unitAddress));
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        SimTimeline timeline(&simulator, &server);
        QVERIFY2(timeline.parse(QStringLiteral("at 0 s serial 4201 line 3 open\n"
                                               "at 0 s serial 4201 fault tamper on\n"
                                               "at 0 s serial 4201 console 5 faulty\n"
                                               "at 0 s serial 4201 extension 2 faulty\n"
                                               "at 0 s serial 4201 mode 2\n"
                                               "at 0 s serial 4201 byte3 0x05\n"),
                                &error),
                 qPrintable(error));

        // The site's log collector: every recorded event is sent there too.
        QUdpSocket collector;
        QVERIFY(collector.bind(QHostAddress::LocalHost, 0));
        ProjectModel network(ProjectModel::Journals::None);
        ProjectGroup *group = namedGroup(&network, QStringLiteral("Корпус 1"));
        network.addDevice(group, makeDevice(DeviceType::Norda4200, 4201, true, 0, unitAddress));
        network.addDevice(group, makeDevice(DeviceType::Horn, 702, false, 0, hornAddress));
        const QString settingsPath = windowSettings(
            m_dir->path(), true, &network,
            {{"network/statusport", QString::number(server.port())},
             {"journal/syslog", QStringLiteral("127.0.0.1:%1").arg(collector.localPort())}});
        timeline.start();
        MainWindow window(settingsPath);
        window.setTickInterval(100);
        ProjectModel *project = window.project();
        ProjectDevice *unit = project->findDeviceBySerial(4201);
        ProjectDevice *horn = project->findDeviceBySerial(702);
        window.treeView()->selectNode(unit);
        DeviceInfoItemModel *pane = window.faultModel();
        QCOMPARE(pane->device(), unit);
        QAbstractItemModel *journal = window.journalView()->model();

        auto paneTexts = [pane] {
            QStringList texts;
            for (int row = 2; row < pane->rowCount(); ++row) {
                const auto item = pane->data(pane->index(row, 0)).value<FailItemDescriptor>();
                texts << FailItemDelegate::faultText(item) + QLatin1Char('=') +
                        FailItemDelegate::faultStateText(item);
            }
            texts.sort();
            return texts;
        };
        // The event texts of the journal rows, newest first: of one device, or of all.
        auto journalTexts = [journal](int deviceId = INT_MIN) {
            QStringList texts;
            for (int row = 0; row < journal->rowCount(); ++row) {
                if (deviceId == INT_MIN || journal->index(row, 2).data().toInt() == deviceId)
                    texts << LogItemDelegate::eventText(journal->index(row, 3).data().toInt());
            }
            return texts;
        };

        // The faults arrive with the window's own polling.
        QTRY_COMPARE_WITH_TIMEOUT(pane->rowCount(), 6, 10000);
        QStringList expected = {"ЛО3=ОБРЫВ", "Вскрытие корпуса=ДА", "Неисправность БР2=ДА",
                                "Неисправность ПУ5=ДА"};
        expected.sort();
        QCOMPARE(paneTexts(), expected);
        const auto state = pane->data(pane->index(1, 0)).value<FailItemDescriptor>();
        QCOMPARE(FailItemDelegate::activeLinesText(state.device),
                 QStringLiteral("Активные линии: ЛО1, ЛО3"));
        QCOMPARE(FailItemDelegate::modeText(state.device), QStringLiteral("Cостояние: ПУЛЬТ ПУСК"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "labelTamperDevices")->text(),
                                  QStringLiteral("НСД: 1"), 5000);
        QCOMPARE(child<QLabel>(&window, "labelMalfDevices")->text(),
                 QStringLiteral("Неисправных: 1"));
        const QStringList unitEvents = journalTexts(unit->id_obj);
        QVERIFY(unitEvents.contains(QStringLiteral("Обрыв ЛО3")));
        QVERIFY(unitEvents.contains(QStringLiteral("Несанкционированный доступ")));
        QVERIFY(unitEvents.contains(QStringLiteral("Норма ЛО1")));
        QVERIFY(!unitEvents.contains(QStringLiteral("Норма ЛО3")));

        // Cleared (applied only now, so that the checks above cannot race the clock): only
        // the extension unit is left, the journal shows the recoveries on top.
        for (const char *step : {"serial 4201 line 3 normal", "serial 4201 fault tamper off",
                                 "serial 4201 console 5 ok", "serial 702 http silent"})
            QVERIFY2(timeline.apply(QString::fromLatin1(step), &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(pane->rowCount(), 3, 10000);
        QCOMPARE(paneTexts(), QStringList({"Неисправность БР2=ДА"}));
        QTRY_VERIFY_WITH_TIMEOUT(
            journalTexts(unit->id_obj).mid(0, 2).contains(QStringLiteral("Норма ЛО3")), 5000);
        QVERIFY(journalTexts(unit->id_obj)
                    .mid(0, 2)
                    .contains(QStringLiteral("Несанкционированный доступ прекращен")));
        QCOMPARE(LogItemDelegate::eventColor(EventCode::LineNormal + 2), QColor(0, 255, 0));

        // The silenced loudspeaker, last heard of long ago, is lost at the next tick.
        QTRY_VERIFY_WITH_TIMEOUT(horn->netFound, 5000);
        horn->lastSeen = QDateTime::currentDateTime().addSecs(-30);
        QTRY_COMPARE_WITH_TIMEOUT(journalTexts().value(0), QStringLiteral("Нет подключения"), 5000);
        QCOMPARE(child<QLabel>(&window, "labelNoConnDevices")->text(),
                 QStringLiteral("Нет связи: 1"));
        QVERIFY(CounterLabel::isHighlighted(child<QLabel>(&window, "labelNoConnDevices")));
        window.treeView()->selectNode(horn);
        QCOMPARE(pane->device(), horn);
        QCOMPARE(FailItemDelegate::connectionText(horn), QStringLiteral("Связь не установлена"));
        QCOMPARE(child<QLabel>(&window, "labelBaseRecordActual")->text(),
                 QStringLiteral("Актуальных: %1").arg(journal->rowCount()));

        // Acknowledged: the journal empties.
        child<QPushButton>(&window, "pushButtonClearErrorStack")->click();
        QCOMPARE(journal->rowCount(), 0);

        // Each record reached the collector once, in order, the acknowledgement last; the
        // audit trail's record of the acknowledgement too.
        const int records = project->logDb->eventCount(5) + 1;
        QStringList messageIds;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (collector.hasPendingDatagrams())
                    messageIds << QString::fromUtf8(collector.receiveDatagram().data())
                                      .section(QLatin1Char(' '), 5, 5);
                return messageIds.size() >= records;
            }(),
            5000);
        QCOMPARE(messageIds.size(), records);
        QCOMPARE(messageIds.last(), QStringLiteral("ACK"));
        QVERIFY(messageIds.contains(QStringLiteral("CONNECTION")));
        QVERIFY(messageIds.contains(QStringLiteral("CLEAR")));
        QCOMPARE(messageIds.count(QStringLiteral("AUDIT")), 1);
    }

private:
    std::unique_ptr<MainWindow> makeWindow(bool monitoring)
    {
        ProjectModel project(ProjectModel::Journals::None);
        project.addDevice(nullptr, makeDevice(DeviceType::Horn, 901, false, 0, answering));
        project.addDevice(nullptr, makeDevice(DeviceType::Horn, 902, false, 0, silent));
        project.addDevice(nullptr, makeDevice(DeviceType::Norda410x, 903, true, 2));
        auto window = std::make_unique<MainWindow>(windowSettings(
            m_dir->path(), monitoring, &project, {{"network/statusport", statusPort()}}));
        // The silent device's requests end sooner.
        window->statusPoller()->setTimeout(300);
        return window;
    }

    QString statusPort() const { return QString::number(m_server->port()); }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<SimStatusServer> m_server;
    SimDevice *m_simAnswering = nullptr;
};

NORDA_GUI_TEST_MAIN(TestMainWindowMonitor)
#include "tst_mainwindowmonitor.moc"
