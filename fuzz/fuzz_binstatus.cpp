// The answer to GET BINSTATUS: any answer is read without a crash; a fault is known only
// for a bit the answer holds, and then it is that bit.
#include "fuzz/fuzzcheck.h"
#include "link/binstatus.h"
#include "link/connectiondevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QString text = ConnectionDevice::decode(Fuzz::bytes(data, size));
    const BinStatus status = BinStatus::parse(text);
    FUZZ_CHECK(!status.valid || status.bytes.size() * 2 == text.trimmed().size());
    for (int k = -1; k <= BinStatus::consoleCount; ++k) {
        const int fault = status.consoleFault(k);
        const int bit = 120 + k;
        const bool held =
            status.valid && k >= 0 && k < BinStatus::consoleCount && bit / 8 < status.bytes.size();
        FUZZ_CHECK(held ? fault == ((uchar(status.bytes.at(bit / 8)) >> (bit % 8)) & 1)
                        : fault == -1);
    }
    for (int j = -1; j <= BinStatus::extensionCount; ++j) {
        const int fault = status.extensionFault(j);
        const int bit = 152 + j;
        const bool held = status.valid && j >= 0 && j < BinStatus::extensionCount &&
            bit / 8 < status.bytes.size();
        FUZZ_CHECK(held ? fault == ((uchar(status.bytes.at(bit / 8)) >> (bit % 8)) & 1)
                        : fault == -1);
    }
    return 0;
}
