// norda-bench-link: figures of the device link against the in-process device simulator over
// loopback TCP and pseudo-terminals. Not run by CTest; run it by hand on an idle machine.

#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/connectiondevice.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "tests/simharness.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr int repeats = 5;
constexpr int baud = 115200;

// Runs the event loop until `done` holds or `ms` pass. `done` is looked at after each round
// of events: the thread sleeps until something arrives rather than waking every millisecond
// to look (those wake-ups competed with the worker and the simulator for the two cores, and
// the end of a run was seen up to a millisecond late).
bool waitFor(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    // Wakes the loop at the deadline should nothing else arrive.
    QTimer expiry;
    expiry.setSingleShot(true);
    expiry.start(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

void sleepEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of the worker's own thread, read on that thread.
double workerCpuSeconds(CdcUsbProcess *worker)
{
    double seconds = 0;
    QMetaObject::invokeMethod(
        worker,
        [&seconds] {
            timespec now {};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            seconds = double(now.tv_sec) + double(now.tv_nsec) / 1e9;
        },
        Qt::BlockingQueuedConnection);
    return seconds;
}

// The first three fields of /proc/loadavg: the load the figures were taken under.
QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    return file.readAll().split(' ').mid(0, 3).join(' ');
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The central unit's read-all list (build 576 or higher).
QStringList readAllList()
{
    QStringList names {"desc_SerialNumber",
                       "desc_IpAddress",
                       "desc_NetMask",
                       "desc_GateWay",
                       "desc_CommandPort",
                       "desc_BroadcastIP",
                       "desc_OutPort",
                       "desc_MaxVolume",
                       "desc_Mode",
                       "desc_DevRole",
                       "desc_CurrentTime",
                       "desc_FirstSoundTime",
                       "desc_TransCheckInterval",
                       "desc_AudioInGain"};
    for (int n = 0; n < 8; ++n)
        names << QStringLiteral("desc_LoCtrlEnable[%1]").arg(n)
              << QStringLiteral("desc_LoCalibValue[%1]").arg(n)
              << QStringLiteral("desc_LoCtrlDelta[%1]").arg(n);
    for (int n = 0; n < 8; ++n)
        names << QStringLiteral("desc_PpkCtrlEnable[%1]").arg(n);
    for (int n = 0; n < 32; ++n)
        names << QStringLiteral("desc_Rs485PultEnable[%1]").arg(n)
              << QStringLiteral("desc_Rs485PultSerial[%1]").arg(n)
              << QStringLiteral("desc_Rs485PultStatus[%1]").arg(n);
    for (int n = 0; n < 9; ++n)
        names << QStringLiteral("desc_ExtBlockRs485Enable[%1]").arg(n)
              << QStringLiteral("desc_ExtBlockRs485Serial[%1]").arg(n)
              << QStringLiteral("desc_ExtBlockRs485Status[%1]").arg(n);
    names << "desc_Rs485GlobalEnable"
          << "desc_MacAddress"
          << "desc_RemotePolarity"
          << "desc_AudioInGain"
          << "desc_Buu2Enable"
          << "desc_DeviceTag";
    for (int n = 0; n < 3; ++n)
        names << QStringLiteral("desc_InputCtrlState[%1]").arg(n);
    for (int n = 0; n < 3; ++n)
        names << QStringLiteral("desc_InputCtrlEnable[%1]").arg(n);
    for (int k = 0; k < 3; ++k) {
        names << QStringLiteral("desc_OutputState[%1]").arg(k)
              << QStringLiteral("desc_OutputPolarity[%1]").arg(k);
        for (int s = 0; s < 14; ++s)
            names
                << QStringLiteral("desc_OutputAssign%1[%2]").arg(s, 2, 10, QLatin1Char('0')).arg(k);
    }
    names.removeDuplicates();
    return names;
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes)
        byte = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

struct Connected {
    std::unique_ptr<ProjectDevice> target;
    std::unique_ptr<Amodule> module;
};

Connected connectTo(ProjectDevice *target, quint16 port)
{
    Connected link;
    link.target.reset(target);
    link.module = std::make_unique<Amodule>(target, nullptr, port);
    bool identified = false;
    QObject::connect(link.module.get(), &Amodule::connected, [&identified] { identified = true; });
    if (!waitFor([&] { return identified; }, 15000))
        std::fprintf(stderr, "device did not connect\n");
    return link;
}

// Milliseconds of one list read; `wireBytes` gets the request and answer bytes.
double readList(Amodule &module, const QStringList &names, qint64 *wireBytes)
{
    bool ended = false;
    qint64 bytes = 0;
    QObject context;
    QObject::connect(&module, &Amodule::receivedDescriptor, &context,
                     [&bytes](const QString &, const QVariant &value, int, int) {
                         bytes += ConnectionDevice::encode(value.toString()).size() + 2 + 4;
                     });
    QObject::connect(&module, &Amodule::endReadList, &context, [&ended] { ended = true; });
    for (const QString &name : names)
        bytes += ConnectionDevice::encode(QStringLiteral("GET DESCRIPTOR ") + name).size() + 2;
    QElapsedTimer clock;
    clock.start();
    module.readDescriptors(names);
    if (!waitFor([&] { return ended; }, 120000))
        std::fprintf(stderr, "list read did not end\n");
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (wireBytes)
        *wireBytes = bytes;
    return ms;
}

double upload(Amodule &module, const QByteArray &data)
{
    int result = 0;
    QObject context;
    QObject::connect(&module, &Amodule::writedFileBlock, &context,
                     [&result](const QString &, int, int, int err) {
                         if (err != 0)
                             result = err;
                     });
    QElapsedTimer clock;
    clock.start();
    module.writeFile(QStringLiteral("0:\\audio\\bench.bin"), data);
    waitFor([&] { return result != 0; }, 120000);
    if (result != 2)
        std::fprintf(stderr, "upload failed (%d)\n", result);
    return double(clock.nsecsElapsed()) / 1e9;
}

double download(Amodule &module, int expected)
{
    int result = 0;
    int size = 0;
    QObject context;
    QObject::connect(&module, &Amodule::readedFileBlock, &context,
                     [&](const QString &, int, int, QByteArray *buf, int err) {
                         if (err == 2 && buf)
                             size = buf->size();
                         if (err != 0)
                             result = err;
                     });
    QElapsedTimer clock;
    clock.start();
    module.readFile(QStringLiteral("0:\\audio\\bench.bin"));
    waitFor([&] { return result != 0; }, 120000);
    if (result != 2 || size != expected)
        std::fprintf(stderr, "download failed (%d, %d bytes)\n", result, size);
    return double(clock.nsecsElapsed()) / 1e9;
}

void cpuShare(const char *what, Amodule &module)
{
    CdcUsbProcess *worker = module.worker();
    sleepEventLoop(1500);
    const double workerBefore = workerCpuSeconds(worker);
    const double processBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    sleepEventLoop(5000);
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double workerUsed = workerCpuSeconds(worker) - workerBefore;
    const double processUsed = processCpuSeconds() - processBefore;
    std::printf("  %-38s worker thread %.3f %% of a core, whole process %.3f %%\n", what,
                100.0 * workerUsed / wall, 100.0 * processUsed / wall);
}

// A transport fed by hand: the bytes a port would deliver, in the chunks it would deliver
// them.
class FedTransport : public ConnectionDevice {
public:
    void feed(const QByteArray &bytes) { appendReceived(bytes); }
};

// Milliseconds to frame `total` bytes of `line`s that arrive in chunks of `chunk` bytes,
// the lines being taken after each chunk; `lines` gets the number of lines framed.
double frameLines(const QByteArray &line, int total, int chunk, int *lines)
{
    QByteArray stream;
    while (stream.size() < total)
        stream += line;
    FedTransport transport;
    int count = 0;
    QElapsedTimer clock;
    clock.start();
    for (int at = 0; at < stream.size(); at += chunk) {
        transport.feed(stream.mid(at, chunk));
        while (!transport.readLine().isEmpty())
            ++count;
    }
    *lines = count;
    return double(clock.nsecsElapsed()) / 1e6;
}

// Bytes of heap in use by the whole process, every thread's arena included.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

// One "GET FILE_LIST" answered with `raw`: the time until the exchange is reported, the
// answer's error code, and the highest heap use seen meanwhile above what it was before.
void bulkAnswer(SimHarness &sim, SimDevice *device, const char *what, const QByteArray &raw)
{
    Connected link = connectTo(SimHarness::tcpTarget(device), sim.tcpPort(device));
    sim.setRawAnswer(device, QStringLiteral("GET FILE_LIST"), raw, 1);
    bool answered = false;
    bool failed = false;
    QString answer;
    QObject context;
    QObject::connect(link.module.get(), &Amodule::exchangeError, &context,
                     [&failed](int) { failed = true; });
    QObject::connect(link.module.get(), &Amodule::receivedParam, &context,
                     [&](const QString &, const QString &value, int) {
                         answered = true;
                         answer = value.left(24);
                     });
    const qint64 heapBefore = heapInUse();
    qint64 heapPeak = heapBefore;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&heapPeak] { heapPeak = qMax(heapPeak, heapInUse()); });
    sampler.start(5);
    QElapsedTimer clock;
    clock.start();
    link.module->getParam(QStringLiteral("FILE_LIST 0:\\audio"));
    waitFor([&] { return answered; }, 120000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    sampler.stop();
    std::printf("  %-36s %8.0f ms, %s, heap peak +%.1f MB\n", what, ms,
                !answered    ? "no answer"
                    : failed ? qPrintable(QStringLiteral("failed: ") + answer)
                             : "answered",
                double(heapPeak - heapBefore) / 1e6);
    link.module->closeAndWait(30000);
}

void framing(SimHarness &sim, SimDevice *device)
{
    std::printf("Line framing (transport alone)\n");
    const struct {
        const char *what;
        QByteArray line;
        int total, chunk;
    } runs[] = {
        {"1 MiB of 4-byte lines, 64 KiB reads", "abc\n", 1 << 20, 64 * 1024},
        {"1 MiB of 4-byte lines, one read", "abc\n", 1 << 20, 1 << 20},
        {"1 MiB of 1 KiB lines, 64 KiB reads", QByteArray(1023, 'x') + '\n', 1 << 20, 64 * 1024},
    };
    for (const auto &run : runs) {
        int lines = 0;
        const double ms = frameLines(run.line, run.total, run.chunk, &lines);
        std::printf("  %-36s %8.1f ms for %d lines\n", run.what, ms, lines);
    }
    std::printf("\nBulk answers to a file list (TCP)\n");
    QByteArray shortLines;
    while (shortLines.size() < (1 << 20))
        shortLines += "abc\n";
    bulkAnswer(sim, device, "1 MiB of 4-byte lines", shortLines + "\r\nOK\r\n");
    // Within the bound on the number of lines (65536).
    QByteArray longerLines;
    while (longerLines.size() < (1 << 20))
        longerLines += "0123456789abcde\r\n";
    bulkAnswer(sim, device, "1 MiB of 17-byte lines", longerLines + "\r\nOK\r\n");
    bulkAnswer(sim, device, "4 MiB of bare line feeds", QByteArray(4 << 20, '\n'));
}

// Erase, then write and verify of 1 MiB through the bootloader, over TCP and over USB.
void flashing(SimHarness &sim, SimDevice *boot)
{
    std::printf("\nBootloader (TCP and USB)\n");
    for (const bool overUsb : {false, true}) {
        Connected link = overUsb ? connectTo(SimHarness::usbTarget(0x1209, 0x0003), 0)
                                 : connectTo(SimHarness::tcpTarget(boot), sim.tcpPort(boot));
        SimCommandDevice *device = sim.command(boot);
        sim.run([&] { device->flash = SimFlash(); });
        const QByteArray image = randomBytes(1024 * 1024);
        CdcUsbProcess *worker = link.module->worker();
        bool erased = false;
        bool written = false;
        bool verified = false;
        bool failed = false;
        QObject context;
        QObject::connect(worker, &CdcUsbProcess::finishErase, &context, [&] { erased = true; });
        QObject::connect(worker, &CdcUsbProcess::finishWrite, &context, [&] { written = true; });
        QObject::connect(worker, &CdcUsbProcess::finishVerify, &context, [&] { verified = true; });
        QObject::connect(worker, &CdcUsbProcess::errorWriteFlashPage, &context,
                         [&] { failed = true; });
        QObject::connect(worker, &CdcUsbProcess::errorVerifyFlashPage, &context,
                         [&] { failed = true; });
        QElapsedTimer clock;
        clock.start();
        link.module->eraseFlash(0x08000000, uint32_t(image.size()));
        waitFor([&] { return erased; }, 60000);
        const double eraseSeconds = double(clock.nsecsElapsed()) / 1e9;
        clock.restart();
        link.module->writeFlash(0x08000000, uint32_t(image.size()), image.constData());
        link.module->verifyFlash(0x08000000, uint32_t(image.size()), image.constData());
        waitFor([&] { return verified || failed; }, 300000);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        QByteArray flashed;
        sim.run([&] { flashed = device->flash.read(0x08000000, image.size()); });
        std::printf("  %s: erase %.2f s; write + verify of 1 MiB %.2f s (%s); load %s\n",
                    overUsb ? "USB" : "TCP", eraseSeconds, seconds,
                    written && verified && flashed == image ? "flash holds the image" : "FAILED",
                    loadAverage().constData());
        link.module->closeAndWait(30000);
    }
}

// The read-all list over a pseudo-terminal paced at 115200 baud, against the time its bytes
// take on the line.
void pacedReadList(SimHarness &sim, SimDevice *paced, const QStringList &names, int runs)
{
    std::printf("\nPaced at %d baud (USB)\n", baud);
    sim.setFault(paced, QStringLiteral("baud=%1").arg(baud));
    {
        Connected link = connectTo(SimHarness::usbTarget(0x1209, 0x0002), 0);
        QList<double> times;
        QList<double> ratios;
        double wireMs = 0;
        for (int i = 0; i < runs; ++i) {
            qint64 bytes = 0;
            const double ms = readList(*link.module, names, &bytes);
            wireMs = double(bytes) * 10.0 * 1000.0 / baud;
            times << ms;
            ratios << ms / wireMs;
        }
        std::printf("  read list of %d descriptors          %.0f ms; pure wire time %.0f ms; "
                    "ratio %.3f (median of %d); load %s\n",
                    int(names.size()), median(times), wireMs, median(ratios), runs,
                    loadAverage().constData());
        // No run can beat the line: that would be a simulator handing out bytes early.
        if (*std::min_element(ratios.begin(), ratios.end()) < 1.0)
            std::printf("  FAILED: a run took less than the bytes' time on the line\n");
        link.module->closeAndWait(30000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimHarness sim;
    // "norda-bench-link framing": the line framing and bulk answer figures only.
    if (app.arguments().value(1) == QLatin1String("framing")) {
        std::printf("norda-bench-link: line framing\n\n");
        framing(sim, sim.addDevice(DeviceType::Horn, 1001, QStringLiteral("127.78.0.5")));
        return 0;
    }
    SimDevice *unit = sim.addDevice(DeviceType::Norda4200, 2002, QStringLiteral("127.78.0.2"));
    SimDevice *paced = sim.addDevice(DeviceType::Norda4200, 2003, QStringLiteral("127.78.0.3"));
    SimDevice *boot = sim.addDevice(DeviceType::Bootloader, 0, QStringLiteral("127.78.0.4"));
    sim.addUsb(unit, 0x1209, 0x0001);
    sim.addUsb(paced, 0x1209, 0x0002);
    sim.addUsb(boot, 0x1209, 0x0003);
    const QStringList names = readAllList();

    // "norda-bench-link flash" and "norda-bench-link paced": that part only, median of 5.
    if (app.arguments().value(1) == QLatin1String("flash")) {
        for (int i = 0; i < repeats; ++i)
            flashing(sim, boot);
        return 0;
    }
    if (app.arguments().value(1) == QLatin1String("paced")) {
        pacedReadList(sim, paced, names, repeats);
        return 0;
    }

    std::printf("norda-bench-link: device link against the in-process simulator\n\n");

    for (const bool overUsb : {false, true}) {
        Connected link = overUsb ? connectTo(SimHarness::usbTarget(0x1209, 0x0001), 0)
                                 : connectTo(SimHarness::tcpTarget(unit), sim.tcpPort(unit));
        std::printf("%s\n", overUsb ? "USB (pseudo-terminal, unpaced)" : "TCP (loopback)");
        QList<double> times;
        for (int i = 0; i < repeats; ++i)
            times << readList(*link.module, names, nullptr);
        std::printf("  read list of %d descriptors          %.1f ms (median of %d)\n",
                    int(names.size()), median(times), repeats);
        const QByteArray data = randomBytes(1024 * 1024);
        QList<double> up;
        QList<double> down;
        for (int i = 0; i < 3; ++i) {
            up << upload(*link.module, data);
            down << download(*link.module, data.size());
        }
        std::printf("  upload of 1 MiB                       %.2f s, %.2f MB/s of payload\n",
                    median(up), data.size() / median(up) / 1e6);
        std::printf("  download of 1 MiB                     %.2f s, %.2f MB/s of payload\n",
                    median(down), data.size() / median(down) / 1e6);
        if (!overUsb)
            cpuShare("idle connected worker over 5 s:", *link.module);
        link.module->closeAndWait(30000);
    }

    flashing(sim, boot);

    std::printf("\nSearching workers\n");
    for (const bool systemPorts : {false, true}) {
        // With the system's own ports the search walks QSerialPortInfo as well.
        if (systemPorts)
            qunsetenv("NORDA_VIRTUAL_PORTS_ONLY");
        Connected link;
        link.target.reset(SimHarness::usbTarget(0x1209, 0x0fff));
        link.module = std::make_unique<Amodule>(link.target.get(), nullptr, 0);
        cpuShare(systemPorts ? "USB port absent (system ports too):"
                             : "USB port absent (virtual ports only):",
                 *link.module);
        link.module->closeAndWait(30000);
        qputenv("NORDA_VIRTUAL_PORTS_ONLY", "1");
    }
    {
        Connected link;
        link.target.reset(new ProjectDevice(DeviceType::Horn));
        link.target->ip_enabled = true;
        link.target->ip_addr = QStringLiteral("127.78.0.250");
        link.module = std::make_unique<Amodule>(link.target.get(), nullptr, 2323);
        cpuShare("TCP host absent, searching over 5 s:", *link.module);
        link.module->closeAndWait(30000);
    }

    std::printf("\n");
    framing(sim, sim.addDevice(DeviceType::Horn, 1001, QStringLiteral("127.78.0.5")));

    pacedReadList(sim, paced, names, 3);
    return 0;
}
