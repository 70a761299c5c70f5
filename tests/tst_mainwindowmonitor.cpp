// The main window together with the status polling, the journal tab and the export,
// against simulated devices answering over loopback HTTP.

#include "guitest.h"
#include "testutil.h"

#include "app/counterlabel.h"
#include "app/mainwindow.h"
#include "journal/databaselog.h"
#include "project/eventcode.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simulator.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace GuiTest;

namespace {

const char answering[] = "127.0.9.2";
const char silent[] = "127.0.9.3";

int eventsOf(DatabaseLog *log, int deviceId, int code)
{
    return TestUtil::eventCodes(log, deviceId).count(code);
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
        QTest::qWait(1500);
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
        window->on_requestPeriodicalTimer();
        QTest::qWait(1500); // the window's own timer ticks as well
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

        QCOMPARE(dialogSeen->title, QStringLiteral("Сохранить журнал БД..."));
        QCOMPARE(dialogSeen->filters, QStringList {QStringLiteral("Файлы Excel (*.xlsx)")});
        QCOMPARE(dialogSeen->acceptMode, QFileDialog::AcceptSave);
        QVERIFY(!dialogSeen->native);
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

private:
    std::unique_ptr<MainWindow> makeWindow(bool monitoring)
    {
        const QString settingsPath = m_dir->filePath(QStringLiteral("settings.ini"));
        const QString projectPath = m_dir->filePath(QStringLiteral("monitor.mpj"));
        {
            ProjectModel project(ProjectModel::Journals::None);
            project.addDevice(nullptr, makeDevice(DeviceType::Horn, 901, false, 0, answering));
            project.addDevice(nullptr, makeDevice(DeviceType::Horn, 902, false, 0, silent));
            project.addDevice(nullptr, makeDevice(DeviceType::Norda410x, 903, true, 2));
            project.save(projectPath);
            QSettings settings(settingsPath, QSettings::IniFormat);
            settings.setValue(QStringLiteral("application/rivar"), monitoring ? "1" : "0");
            settings.setValue(QStringLiteral("paths/lastproject"), projectPath);
            settings.setValue(QStringLiteral("network/statusport"),
                              QString::number(m_server->port()));
        }
        return std::make_unique<MainWindow>(settingsPath);
    }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<SimStatusServer> m_server;
    SimDevice *m_simAnswering = nullptr;
};

QTEST_MAIN(TestMainWindowMonitor)
#include "tst_mainwindowmonitor.moc"
