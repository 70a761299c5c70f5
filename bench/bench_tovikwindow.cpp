// The central unit window against the in-process simulator: how long its read-all list
// takes over loopback TCP and over a pseudo-terminal paced at 115200 baud, against the time
// its request and answer bytes take on such a line; and the CPU the open window takes,
// connected and idle, on each of its tabs (the window's thread and its link worker, apart
// from the simulator).
//
//   bench_tovikwindow [--seconds 60] [--repeats 5]
//
// Without a display it draws on the offscreen platform. Not run by CTest; the figures are
// those of the machine it runs on (a shared one shows other people's load).

#include "devices/tovikdevicewindow.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "tests/simharness.h"
#include "tools/devsim/simdevice.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <pthread.h>

namespace {

constexpr int baud = 115200;

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double threadSeconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

clockid_t clockOfCurrentThread()
{
    clockid_t clock {};
    pthread_getcpuclockid(pthread_self(), &clock);
    return clock;
}

clockid_t clockOfThreadOf(QObject *object)
{
    clockid_t clock {};
    QMetaObject::invokeMethod(
        object, [&clock] { clock = clockOfCurrentThread(); }, Qt::BlockingQueuedConnection);
    return clock;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

struct Opened {
    std::unique_ptr<ProjectModel> project;
    std::unique_ptr<TovikDeviceWindow> window;
};

Opened open(SimHarness *harness, SimDevice *sim, QSettings *settings, bool overUsb)
{
    Opened opened;
    opened.project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
    ProjectDevice *device = overUsb
        ? SimHarness::usbTarget()
        : new ProjectDevice(DeviceType::Norda4200, quint32(sim->serial), QString(), false, 0, true,
                            sim->address.toString(), -1);
    device->type = DeviceType::Norda4200;
    opened.project->addDevice(nullptr, device);
    DeviceWindowContext context;
    context.settings = settings;
    context.project = opened.project.get();
    context.ports.commandPort = harness->tcpPort(sim);
    opened.window = std::make_unique<TovikDeviceWindow>(device, context);
    opened.window->show();
    return opened;
}

// Waits until the window has read everything of its connection.
bool settled(TovikDeviceWindow *window)
{
    return waitFor(
        [window] {
            return window->isIdentified() && window->facade()->readListSize() == 0 &&
                !window->facade()->isFileTransferPending() &&
                !window->progressDialog()->isVisible();
        },
        60000);
}

// One "Прочитать всё": milliseconds from the click to the last answer of its descriptor
// list, and the bytes of that list's requests and answers.
double readAll(TovikDeviceWindow *window, qint64 *wireBytes)
{
    QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    qint64 bytes = 0;
    for (const QString &name : window->readAllNames(window->firmwareBuild()))
        bytes += QStringLiteral("GET DESCRIPTOR ").size() + name.size() + 2;
    bool ended = false;
    Amodule *facade = window->facade();
    // Each answer: its value, a line end, and "OK" with its line end.
    const QMetaObject::Connection answers =
        QObject::connect(facade, &Amodule::receivedDescriptor,
                         [&bytes, codec](const QString &, const QVariant &value) {
                             bytes += codec->fromUnicode(value.toString()).size() + 2 + 4;
                         });
    const QMetaObject::Connection end =
        QObject::connect(facade, &Amodule::endReadList, [&ended] { ended = true; });
    QElapsedTimer clock;
    clock.start();
    window->findChild<QPushButton *>(QStringLiteral("pushButtonReadAll"))->click();
    waitFor([&ended] { return ended; }, 120000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    QObject::disconnect(answers);
    QObject::disconnect(end);
    settled(window);
    *wireBytes = bytes;
    return ms;
}

// The same list read through a facade alone (no window), for comparison: milliseconds.
double facadeRead(SimHarness *harness, SimDevice *sim, bool overUsb, const QStringList &names)
{
    std::unique_ptr<ProjectDevice> device(overUsb ? SimHarness::usbTarget()
                                                  : SimHarness::tcpTarget(sim));
    Amodule facade(device.get(), nullptr, harness->tcpPort(sim));
    bool connected = false;
    bool ended = false;
    QObject::connect(&facade, &Amodule::connected, [&connected] { connected = true; });
    QObject::connect(&facade, &Amodule::endReadList, [&ended] { ended = true; });
    if (!waitFor([&connected] { return connected; }, 30000))
        return -1;
    QElapsedTimer clock;
    clock.start();
    facade.readDescriptors(names);
    waitFor([&ended] { return ended; }, 120000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    facade.closeAndWait(5000);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && !text.contains("propagateSizeHints"))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption("seconds", "Seconds of CPU measurement per tab (60).",
                                           "S", "60");
    const QCommandLineOption repeatsOption("repeats", "Read-alls per link (5).", "N", "5");
    parser.addOption(secondsOption);
    parser.addOption(repeatsOption);
    parser.process(app);
    const int seconds = qMax(1, parser.value(secondsOption).toInt());
    const int repeats = qMax(1, parser.value(repeatsOption).toInt());

    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    SimHarness harness;
    SimDevice *sim = harness.addDevice(DeviceType::Norda4200, 4201, "127.80.0.2");
    sim->version = "1.2.620";
    harness.addUsb(sim);

    std::printf("bench_tovikwindow: central unit window, firmware build 620, in-process "
                "simulator\n\nRead-all (descriptor list of %d names, from the click to its "
                "last answer)\n",
                int(TovikDeviceWindow::readAllNames(620).size()));
    for (const bool overUsb : {false, true}) {
        if (overUsb)
            harness.setFault(sim, QStringLiteral("baud=%1").arg(baud));
        Opened opened = open(&harness, sim, &settings, overUsb);
        if (!settled(opened.window.get())) {
            std::fprintf(stderr, "the window did not connect\n");
            return 2;
        }
        QList<double> times;
        QList<double> ratios;
        qint64 bytes = 0;
        for (int i = 0; i < repeats; ++i) {
            const double ms = readAll(opened.window.get(), &bytes);
            times << ms;
            ratios << ms / (double(bytes) * 10.0 * 1000.0 / baud);
        }
        const double wireMs = double(bytes) * 10.0 * 1000.0 / baud;
        opened.window->close();
        opened.window.reset();
        QList<double> bare;
        for (int i = 0; i < repeats; ++i)
            bare << facadeRead(&harness, sim, overUsb, TovikDeviceWindow::readAllNames(620));
        if (overUsb)
            std::printf("  pseudo-terminal at %d baud   %7.0f ms; the %lld bytes take %.0f ms on "
                        "the line: %.3f x (median of %d); a facade without a window %.0f ms, "
                        "%.3f x\n",
                        baud, median(times), bytes, wireMs, median(ratios), repeats, median(bare),
                        median(bare) / wireMs);
        else
            std::printf("  loopback TCP                  %7.1f ms (median of %d); a facade "
                        "without a window %.1f ms; the same bytes at %d baud would take %.0f ms\n",
                        median(times), repeats, median(bare), baud, wireMs);
    }
    harness.clearFaults(sim);

    std::printf("\nCPU of the open window, connected and idle, %d s per tab (window thread + "
                "link worker; polls as the window makes them)\n",
                seconds);
    Opened opened = open(&harness, sim, &settings, false);
    TovikDeviceWindow *window = opened.window.get();
    if (!settled(window)) {
        std::fprintf(stderr, "the window did not connect\n");
        return 2;
    }
    const clockid_t gui = clockOfCurrentThread();
    const clockid_t worker = clockOfThreadOf(window->facade()->worker());
    auto *top = window->findChild<QTabWidget *>("tabWidget");
    auto *tabs = window->findChild<QTabWidget *>("tabWidgetSettings");
    QList<QPair<QWidget *, QWidget *>> shown;
    for (int i = 0; i < tabs->count(); ++i)
        shown.append(qMakePair(top->widget(0), tabs->widget(i)));
    for (int i = 1; i < top->count(); ++i)
        shown.append(qMakePair(top->widget(i), static_cast<QWidget *>(nullptr)));
    for (const auto &tab : qAsConst(shown)) {
        top->setCurrentWidget(tab.first);
        if (tab.second)
            tabs->setCurrentWidget(tab.second);
        const QString title = tab.second ? tabs->tabText(tabs->indexOf(tab.second))
                                         : top->tabText(top->indexOf(tab.first));
        runEventLoop(1500);
        harness.clearLog(sim);
        const double gui0 = threadSeconds(gui);
        const double worker0 = threadSeconds(worker);
        runEventLoop(seconds * 1000);
        const double guiCpu = (threadSeconds(gui) - gui0) * 100.0 / seconds;
        const double workerCpu = (threadSeconds(worker) - worker0) * 100.0 / seconds;
        const int requests = harness.requestLog(sim).size();
        std::printf("  %s window %.3f %%, worker %.3f %% of a core; %.1f requests/s\n",
                    qPrintable(title.leftJustified(18)), guiCpu, workerCpu,
                    double(requests) / seconds);
    }
    return 0;
}
