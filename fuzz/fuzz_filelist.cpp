// FILE_LIST answers: every entry the reading of an answer gives names something inside the
// listed folder, never the folder itself, its parent or a path of more than one step.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"
#include "link/filelisting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QString folder = QStringLiteral("0:\\audio");
    const QString answer = ConnectionDevice::decode(Fuzz::bytes(data, size));
    const QVector<FileListing::Entry> entries = FileListing::parse(folder, answer);
    FUZZ_CHECK(entries.size() <= answer.count(QLatin1Char('\n')) + 1);
    for (const FileListing::Entry &entry : entries) {
        FUZZ_CHECK(!entry.name.isEmpty());
        FUZZ_CHECK(entry.name != QLatin1String(".") && entry.name != QLatin1String(".."));
        FUZZ_CHECK(!entry.name.contains(QLatin1Char('\\')) &&
                   !entry.name.contains(QLatin1Char('/')));
        FUZZ_CHECK(!entry.name.contains(QLatin1Char('\n')) &&
                   !entry.name.contains(QLatin1Char('\r')));
        FUZZ_CHECK(entry.path == folder + QLatin1Char('\\') + entry.name);
        FUZZ_CHECK(entry.size >= -1);
        if (entry.folder)
            FUZZ_CHECK(entry.size == -1);
    }
    return 0;
}
