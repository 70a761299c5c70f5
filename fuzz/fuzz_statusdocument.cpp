// The status document decoder: whatever a device's HTTP status holds, decoding never
// crashes, and a decoded status has no more faults than its document has fault texts and
// set bits, each fault standing on its own text or bit.
#include "fuzz/fuzzcheck.h"
#include "project/devicetype.h"
#include "project/jsonparser.h"
#include "project/projectdevice.h"
#include "project/statusdecoder.h"

#include <QDateTime>
#include <QJsonArray>

namespace {

int setBits(const QByteArray &state, int first, int count)
{
    int bits = 0;
    for (int n = first; n < first + count; ++n)
        bits += StatusDecoder::bit(state, n) ? 1 : 0;
    return bits;
}

void checkDecoded(const ProjectDevice &device, const QJsonObject &document)
{
    const QByteArray state = StatusDecoder::binaryState(document);
    int general = 0, lines = 0, consoles = 0, extensions = 0;
    for (const DeviceFault &fault : device.faults) {
        FUZZ_CHECK(fault.device == &device);
        switch (fault.kind) {
        case DeviceFault::Line:
            FUZZ_CHECK(fault.index >= 0 && fault.index < 8);
            FUZZ_CHECK(fault.state >= 1 && fault.state <= 3);
            FUZZ_CHECK(StatusDecoder::lineState(state, fault.index) == fault.state);
            ++lines;
            break;
        case DeviceFault::Console:
            FUZZ_CHECK(StatusDecoder::bit(state, 120 + fault.index));
            ++consoles;
            break;
        case DeviceFault::ExtensionUnit:
            FUZZ_CHECK(StatusDecoder::bit(state, 152 + fault.index));
            ++extensions;
            break;
        case DeviceFault::Amplifier:
        case DeviceFault::Battery:
        case DeviceFault::Mains:
        case DeviceFault::Tamper:
            ++general;
            break;
        default:
            FUZZ_CHECK(!"a fault of no known kind");
        }
    }
    FUZZ_CHECK(general <= 4 &&
               general <= document.value(QStringLiteral("errors")).toArray().size());
    FUZZ_CHECK(lines <= setBits(state, 96, 16));
    FUZZ_CHECK(consoles <= setBits(state, 120, 32));
    FUZZ_CHECK(extensions <= setBits(state, 152, 9));
    FUZZ_CHECK(device.faults.size() <= general + setBits(state, 0, state.size() * 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    QJsonObject document;
    if (!JsonParser::parseObject(Fuzz::bytes(data, size), &document))
        return 0;
    static const QDateTime time = QDateTime::fromSecsSinceEpoch(1700000000);
    ProjectDevice device(DeviceType::Tovik2);
    StatusDecoder::apply(&device, document, time);
    checkDecoded(device, document);
    // Once more against itself as the previous document, and after a clean one.
    StatusDecoder::apply(&device, document, time.addSecs(1));
    checkDecoded(device, document);
    StatusDecoder::apply(&device, QJsonObject(), time.addSecs(2));
    FUZZ_CHECK(device.faults.isEmpty());
    return 0;
}
