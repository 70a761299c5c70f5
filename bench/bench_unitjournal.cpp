// bench_unitjournal: reads a central unit's full, wrapped journal of 1000 records with
// UnitJournalReadJob from the in-process simulator, over loopback TCP and over an unpaced
// pseudo-terminal, and prints the time of each read. Not run by CTest.

#include "jobs/unitjournalreadjob.h"
#include "link/amodule.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "tests/simharness.h"
#include "tools/devsim/simdevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int repeats = 5;

// Milliseconds of one read, or -1 when it did not end Done with every record.
double readOnce(Amodule &module, int expected)
{
    UnitJournalReadJob job(&module);
    QEventLoop loop;
    QObject::connect(&job, &DeviceJob::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    job.start();
    if (!job.isFinished())
        loop.exec();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return job.result().ok() && job.records().size() == expected ? ms : -1;
}

bool connectModule(Amodule &module)
{
    bool identified = false;
    QEventLoop loop;
    QObject::connect(&module, &Amodule::connected, &loop, [&] {
        identified = true;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return identified;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimHarness sim;
    SimDevice *unit = sim.addDevice(DeviceType::Tovik2, 2002, QStringLiteral("127.93.1.2"));
    sim.addUsb(unit, 0x1209, 0x0007);
    QString error;
    sim.run([&] { unit->journal.apply(QStringLiteral("capacity=1000,records=1250"), &error); });

    std::printf("bench_unitjournal: a full journal of 1000 records, wrapped at slot 250\n\n");
    for (const bool overUsb : {false, true}) {
        std::unique_ptr<ProjectDevice> target(overUsb ? SimHarness::usbTarget(0x1209, 0x0007)
                                                      : SimHarness::tcpTarget(unit));
        Amodule module(target.get(), nullptr, overUsb ? 0 : sim.tcpPort(unit));
        if (!connectModule(module)) {
            std::fprintf(stderr, "the unit did not connect\n");
            return 1;
        }
        QList<double> times;
        for (int i = 0; i < repeats; ++i)
            times << readOnce(module, 1000);
        std::sort(times.begin(), times.end());
        std::printf("%-32s min %.0f ms, median %.0f ms, max %.0f ms (%d reads)\n",
                    overUsb ? "USB (pseudo-terminal, unpaced)" : "TCP (loopback)", times.first(),
                    times.at(times.size() / 2), times.last(), repeats);
        module.closeAndWait(30000);
    }
    return 0;
}
