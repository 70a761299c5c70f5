// The framing of the device's answers: bytes arriving in any pieces, with the lines taken
// after every arrival, give the same lines and leave the same unfinished line as the whole
// stream arriving at once.
//
// Input: two bytes seeding the cut, then the stream.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"

#include <QList>

namespace {

class FeedDevice : public ConnectionDevice {
public:
    void feed(const QByteArray &bytes) { appendReceived(bytes); }
};

void takeLines(FeedDevice *device, QList<QByteArray> *lines)
{
    for (QByteArray line = device->readLine(); !line.isEmpty(); line = device->readLine()) {
        FUZZ_CHECK(line.endsWith('\n'));
        FUZZ_CHECK(line.indexOf('\n') == line.size() - 1);
        lines->append(line);
    }
    FUZZ_CHECK(!device->canReadLine());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    if (size < 2)
        return 0;
    quint32 seed = quint32(data[0]) << 8 | data[1];
    const QByteArray stream = Fuzz::bytes(data + 2, size - 2);
    // Streams past the partial line limit overflow by design; the fuzzer's inputs stay below.
    if (stream.size() > ConnectionDevice::longestAnswerLine + 60 * 1024)
        return 0;

    FeedDevice whole;
    whole.feed(stream);
    QList<QByteArray> expected;
    takeLines(&whole, &expected);
    FUZZ_CHECK(!whole.hasOverflowed());

    // Pieces of 1 to 16 bytes, the lines taken after every second piece, and once byte by
    // byte when the seed says so.
    FeedDevice pieces;
    QList<QByteArray> got;
    int at = 0;
    int count = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const int length = (seed & 0x8000) ? 1 : int((seed >> 16) % 16) + 1;
        pieces.feed(stream.mid(at, length));
        at += length;
        if (++count % 2 == 0)
            takeLines(&pieces, &got);
    }
    takeLines(&pieces, &got);
    FUZZ_CHECK(got == expected);
    FUZZ_CHECK(pieces.receivedSize() == whole.receivedSize());
    const QByteArray tail = whole.takeReceived();
    FUZZ_CHECK(pieces.takeReceived() == tail);
    FUZZ_CHECK(!tail.contains('\n'));
    QByteArray joined;
    for (const QByteArray &line : qAsConst(expected))
        joined += line;
    FUZZ_CHECK(joined + tail == stream);
    return 0;
}
