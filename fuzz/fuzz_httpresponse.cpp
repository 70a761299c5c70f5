// A device's answer to the status request, as the poller reads it from its connection:
// whatever arrives, the reader ends in one state, never holds more body than its bound,
// and reads the bytes the same however the network splits them.
#include "fuzz/fuzzcheck.h"
#include "monitor/httpresponsereader.h"

namespace {

struct Outcome {
    HttpResponseReader::State state;
    int status;
    QByteArray body;
    bool keepAlive;
    qint64 excess;
};

// Feeds `bytes` in pieces of the given sizes (cycled), then the close when asked.
Outcome read(const QByteArray &bytes, qint64 bound, const QByteArray &pieces, bool close)
{
    HttpResponseReader reader(bound);
    int at = 0;
    int piece = 0;
    while (at < bytes.size()) {
        const int size =
            pieces.isEmpty() ? bytes.size() : 1 + quint8(pieces.at(piece++ % pieces.size())) % 16;
        const int take = qMin(size, bytes.size() - at);
        reader.feed(bytes.constData() + at, take);
        at += take;
    }
    if (close && reader.state() == HttpResponseReader::State::Incomplete)
        reader.finish();
    FUZZ_CHECK(reader.body().size() <= bound);
    return {reader.state(), reader.statusCode(), reader.body(), reader.keepAlive(),
            reader.excess()};
}

} // namespace

// The first byte picks the body bound and whether the peer closes after its bytes; the
// next four, how the bytes are split for the second reading.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const quint8 mode = data[0];
    const qint64 bound = (mode & 0x7F) == 0x7F ? 1024 * 1024 : (mode & 0x7F);
    const bool close = mode & 0x80;
    const QByteArray pieces = Fuzz::bytes(data + 1, 4);
    const QByteArray bytes = Fuzz::bytes(data + 5, size - 5);

    const Outcome whole = read(bytes, bound, QByteArray(), close);
    const Outcome split = read(bytes, bound, pieces, close);
    FUZZ_CHECK(whole.state == split.state);
    if (whole.state == HttpResponseReader::State::Complete) {
        FUZZ_CHECK(whole.status == split.status && whole.body == split.body);
        FUZZ_CHECK(whole.keepAlive == split.keepAlive && whole.excess == split.excess);
        FUZZ_CHECK(whole.status >= 200 && whole.status <= 999);
        FUZZ_CHECK(whole.excess >= 0 && whole.excess <= bytes.size());
    }
    return 0;
}
