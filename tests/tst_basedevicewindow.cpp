// The frame of the device windows: the connection state in the status bar, first and later
// connections, the factory-access flag, the window geometry and the progress dialog of a
// descriptor list read.

#include "devicewindowtest.h"
#include "guitest.h"
#include "testutil.h"

#include "devices/basedevicewindow.h"
#include "tools/devsim/simcommandserver.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

// A concrete window of nothing but the frame.
class FrameWindow : public BaseDeviceWindow {
public:
    FrameWindow(ProjectDevice *device, const DeviceWindowContext &context)
        : BaseDeviceWindow(device, context)
    {
        restoreWindowGeometry();
    }
    using BaseDeviceWindow::updateProgress;
};

// A list read that ends with a value the device cannot give.
struct FailedListRow {
    const char *name;
    const char *fault;
    bool linkDrops;
};

struct AccessRow {
    const char *name;
    const char *value; // null: no key
    bool full;
};

} // namespace

Q_DECLARE_METATYPE(AccessRow)
Q_DECLARE_METATYPE(FailedListRow)

class TestBaseDeviceWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchConnectByName);
        QVERIFY(dir.isValid());
        harness = std::make_unique<SimHarness>();
        sim = harness->addDevice(DeviceType::Horn, 8101, QStringLiteral("127.81.3.2"));
        device = std::make_unique<ProjectDevice>(DeviceType::Horn, 8101, QString(), false, 0, true,
                                                 QStringLiteral("127.81.3.2"), -1);
    }

    void init()
    {
        settings = std::make_unique<QSettings>(
            dir.filePath(QStringLiteral("settings-%1.ini").arg(++settingsCount)),
            QSettings::IniFormat);
    }

    void cleanup()
    {
        window.reset();
        QCOMPARE(connectByNameWarnings(), QStringList());
    }

    void cleanupTestCase()
    {
        device.reset();
        harness.reset();
    }

    // The status bar follows the link; a reconnection is not a second first connection, and
    // a disconnection clears the mark of a device that differs from the project.
    void connectionState()
    {
        open();
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Устройство не подключено"));
        QCOMPARE(window->statusBar()->styleSheet(), QStringLiteral("color: gray;"));
        QSignalSpy first(window.get(), &BaseDeviceWindow::firstConnectionEvent);
        QSignalSpy later(window.get(), &BaseDeviceWindow::connectionEvent);
        QSignalSpy differs(window.get(), &BaseDeviceWindow::configDiffChanged);
        QVERIFY(first.wait(10000));
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Подключен Оповещатель/Громкоговоритель NORDA исп.IP вер. 1.0.0"));
        QCOMPARE(window->statusBar()->styleSheet(), QStringLiteral("color: green;"));
        QVERIFY(window->isIdentified());

        // What the status bar shows once the window has seen the link go.
        QStringList shown;
        connect(window->facade(), &Amodule::disconnected, window.get(), [&] {
            shown << window->statusBar()->currentMessage() << window->statusBar()->styleSheet();
        });
        harness->run([this] { harness->commandServer()->dropConnections(sim); });
        QTRY_COMPARE_WITH_TIMEOUT(later.count(), 1, 10000);
        QCOMPARE(shown.mid(0, 2), QStringList({"Нет подключения", "color: gray;"}));
        QCOMPARE(window->statusBar()->styleSheet(), QStringLiteral("color: green;"));
        QCOMPARE(first.count(), 1);
        QCOMPARE(differs.count(), 0);
    }

    void fullAccess_data()
    {
        TestUtil::addRows<AccessRow>({
            {"no key", nullptr, false},
            {"0", "0", false},
            {"1", "1", true},
            {"7", "7", true},
            {"not a number", "yes", false},
        });
    }

    void fullAccess()
    {
        QFETCH(AccessRow, row);
        if (row.value)
            settings->setValue(QStringLiteral("factory/fullaccess"),
                               QString::fromLatin1(row.value));
        open();
        QCOMPARE(window->hasFullAccess(), row.full);
    }

    // Without stored geometry a window opens 1000 x 600 in the middle of the screen; its
    // geometry is stored in "basedevicewindow", and a maximized window stores only that.
    void geometry()
    {
        open();
        window->show();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(window->size(), QSize(1000, 600));
        QCOMPARE(window->geometryGroup(), QStringLiteral("basedevicewindow"));
        QCOMPARE(window->pos(), QPoint(screen.width() / 2 - 500, screen.height() / 2 - 300));
        window->resize(900, 500);
        QTRY_COMPARE(settings->value("basedevicewindow/width").toString(), QStringLiteral("900"));
        QCOMPARE(settings->value("basedevicewindow/height").toString(), QStringLiteral("500"));
        window->showMaximized();
        QTRY_COMPARE(settings->value("basedevicewindow/fullscreen").toString(),
                     QStringLiteral("1"));
        QCOMPARE(settings->value("basedevicewindow/width").toString(), QStringLiteral("900"));

        window.reset();
        open();
        QVERIFY(window->windowState() & Qt::WindowMaximized);
    }

    // A list read shows the progress dialog; cancelling it drops the names still to come,
    // and the answers that arrive afterwards are handled as usual.
    void progressOfAListRead()
    {
        harness->setFault(sim, QStringLiteral("delay=40"));
        open();
        window->show();
        QSignalSpy first(window.get(), &BaseDeviceWindow::firstConnectionEvent);
        QVERIFY(first.wait(10000));
        QSignalSpy answers(window->facade(), &Amodule::receivedDescriptor);
        const QStringList names = {"desc_SerialNumber", "desc_IpAddress", "desc_NetMask",
                                   "desc_GateWay", "desc_MaxVolume"};
        QCOMPARE(window->facade()->readDescriptors(names), 0);
        QVERIFY(window->progressDialog()->isVisible());
        QCOMPARE(window->progressDialog()->maximum(), 5);
        QCOMPARE(window->progressDialog()->labelText(), QStringLiteral("Чтение параметров..."));
        QVERIFY(answers.wait(10000));
        window->updateProgress();
        QCOMPARE(window->progressDialog()->value(), 5 - window->facade()->readListSize());

        window->progressDialog()->findChild<QPushButton *>()->click();
        QVERIFY(!window->progressDialog()->isVisible());
        QCOMPARE(window->facade()->readListSize(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), 5, 10000);
        window->updateProgress();
        QVERIFY(!window->progressDialog()->isVisible());
        harness->clearFaults(sim);
    }

    // A list read that ends with failures, answered or cut off by the link, ends its
    // progress dialog and names what it could not read.
    void listEndingWithFailures_data()
    {
        TestUtil::addRows<FailedListRow>({
            {"refused", "fail=-1:GET DESCRIPTOR desc_NetMask", false},
            {"too long to take", "oversize=-1:200000:GET DESCRIPTOR desc_NetMask", true},
        });
    }

    void listEndingWithFailures()
    {
        QFETCH(FailedListRow, row);
        harness->setFault(sim, QString::fromLatin1(row.fault));
        open();
        window->show();
        QSignalSpy first(window.get(), &BaseDeviceWindow::firstConnectionEvent);
        QSignalSpy drops(window->facade(), &Amodule::disconnected);
        QVERIFY(first.wait(10000));
        QCOMPARE(window->facade()->readDescriptors(listNames), 0);
        QVERIFY(window->progressDialog()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(
            window->readFailureMessage() && window->readFailureMessage()->isVisible(), 10000);
        QVERIFY(!window->progressDialog()->isVisible());
        QCOMPARE(drops.count() > 0, row.linkDrops);
        const QString text = window->readFailureMessage()->text();
        // The failed value, and those the lost link took with it.
        QVERIFY2(text.startsWith(QStringLiteral("Не удалось прочитать параметры: NetMask")),
                 qPrintable(text));
        QCOMPARE(text.contains("GateWay"), row.linkDrops);
        QVERIFY(!text.contains("SerialNumber"));
        QCOMPARE(window->readFailureMessage()->windowModality(), Qt::NonModal);
        harness->clearFaults(sim);
    }

    // A device that keeps failing one request over the link is not reconnected to in a
    // tight loop: the pauses between the connections grow (1 s, 2 s, ...), and a good
    // answer to the request ends them.
    void reconnectsBackOff()
    {
        harness->setFault(sim, QStringLiteral("oversize=-1:200000:GET DESCRIPTOR desc_NetMask"));
        harness->clearLog(sim);
        open();
        auto readAll = [this] { window->facade()->readDescriptors(listNames); };
        connect(window.get(), &BaseDeviceWindow::firstConnectionEvent, window.get(), readAll);
        connect(window.get(), &BaseDeviceWindow::connectionEvent, window.get(), readAll);
        // Every connection asks for the version first.
        auto connections = [this] {
            QList<qint64> times;
            const QStringList log = harness->requestLog(sim);
            const QList<qint64> at = harness->requestTimes(sim);
            for (int i = 0; i < log.size() && i < at.size(); ++i) {
                if (log.at(i) == QLatin1String("GET VERSION"))
                    times << at.at(i);
            }
            return times;
        };
        QTRY_VERIFY_WITH_TIMEOUT(connections().size() >= 4, 20000);
        const QList<qint64> times = connections();
        const qint64 second = times.at(2) - times.at(1);
        const qint64 third = times.at(3) - times.at(2);
        QVERIFY2(second >= 900 && third >= 1900 && third > second,
                 qPrintable(QStringLiteral("%1 ms, %2 ms").arg(second).arg(third)));
        // A handful of requests per connection, not thousands.
        QVERIFY2(harness->requestLog(sim).size() <= 5 * (listNames.size() + 1),
                 qPrintable(harness->requestLog(sim).join(" | ")));

        // The fault ends: the next connection reads the list whole, and a failure after it
        // reconnects at once again.
        harness->clearFaults(sim);
        QSignalSpy later(window.get(), &BaseDeviceWindow::connectionEvent);
        QSignalSpy ends(window->facade(), &Amodule::endReadList);
        QVERIFY(later.wait(20000));
        QVERIFY(ends.wait(10000));
        harness->setFault(sim, QStringLiteral("oversize=1:200000:GET DESCRIPTOR desc_NetMask"));
        harness->clearLog(sim);
        window->facade()->readDescriptors(listNames);
        QTRY_VERIFY_WITH_TIMEOUT(connections().size() >= 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(ends.count() == 2, 10000);
        const QList<qint64> again = connections();
        const QList<qint64> at = harness->requestTimes(sim);
        QVERIFY2(again.first() - at.first() < 900,
                 qPrintable(QStringLiteral("%1 ms").arg(again.first() - at.first())));
    }

    // A link whose device has not told which it is (its answers end in bare line feeds) is
    // not shown as connected, however often the version is asked.
    void connectedOnlyOnceIdentified()
    {
        harness->setFault(sim, QStringLiteral("bare-lf"));
        harness->clearLog(sim);
        open();
        QSignalSpy first(window.get(), &BaseDeviceWindow::firstConnectionEvent);
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(sim).count("GET VERSION") >= 3, 10000);
        QVERIFY(!window->statusBar()->currentMessage().startsWith(QStringLiteral("Подключен")));
        QVERIFY(!window->isIdentified());
        QCOMPARE(first.count(), 0);
        harness->clearFaults(sim);
        QVERIFY(first.wait(10000));
        QVERIFY(window->statusBar()->currentMessage().startsWith(QStringLiteral("Подключен")));
    }

private:
    void open()
    {
        DeviceWindowContext context;
        context.settings = settings.get();
        context.ports.commandPort = harness->tcpPort(sim);
        window = std::make_unique<FrameWindow>(device.get(), context);
        if (CdcUsbProcess *worker = window->facade()->worker())
            worker->setTimings(3000, 100);
    }

    const QStringList listNames = {"desc_SerialNumber", "desc_IpAddress", "desc_NetMask",
                                   "desc_GateWay", "desc_MaxVolume"};
    QTemporaryDir dir;
    std::unique_ptr<SimHarness> harness;
    SimDevice *sim = nullptr;
    std::unique_ptr<ProjectDevice> device;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<FrameWindow> window;
    int settingsCount = 0;
};

NORDA_GUI_TEST_MAIN(TestBaseDeviceWindow)
#include "tst_basedevicewindow.moc"
