// The simulator's timeline file: any script is read or refused with the line that is
// wrong; a refused script keeps nothing.
#include "fuzz/fuzzcheck.h"
#include "project/devicetype.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    static Simulator *simulator = [] {
        auto *sim = new Simulator;
        sim->addDevice(DeviceType::Tovik2, 1001, QHostAddress(QStringLiteral("127.0.0.2")));
        sim->addDevice(DeviceType::Horn, 1002, QHostAddress(QStringLiteral("127.0.0.3")));
        sim->addDevice(DeviceType::IpPult, 1003, QHostAddress(QStringLiteral("127.0.0.4")));
        return sim;
    }();
    SimTimeline timeline(simulator, nullptr);
    QString error;
    const QString text = QString::fromUtf8(Fuzz::bytes(data, size));
    if (timeline.parse(text, &error)) {
        FUZZ_CHECK(timeline.stepCount() <= text.count(QLatin1Char('\n')) + 1);
    } else {
        FUZZ_CHECK(error.startsWith(QLatin1String("line ")));
        FUZZ_CHECK(timeline.stepCount() == 0);
    }
    return 0;
}
