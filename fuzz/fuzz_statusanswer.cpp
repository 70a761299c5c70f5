// The fields of a GET STATUS answer: any answer is read without a crash, into values a
// window can show as they are.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"
#include "link/statusanswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QString text = ConnectionDevice::decode(Fuzz::bytes(data, size));
    const StatusAnswer answer = StatusAnswer::parse(text);
    if (!answer.valid) {
        FUZZ_CHECK(!answer.hasStorage);
        return 0;
    }
    FUZZ_CHECK(!text.startsWith(QLatin1String("ERROR")));
    FUZZ_CHECK(answer.version >= 0 && answer.version <= 0xFFFF);
    FUZZ_CHECK(answer.storageTotal >= 0 && answer.storageFree >= 0);
    const QString label =
        StatusAnswer::storageLabel(answer.storageStatus, answer.storageTotal, answer.storageFree);
    FUZZ_CHECK(label.startsWith(QStringLiteral("Флэш-память: ")));
    return 0;
}
