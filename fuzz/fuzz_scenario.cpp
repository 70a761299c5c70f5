// The scenarios of a project file: any scenario object reads into a scenario that writes
// and reads back the same.
#include "fuzz/fuzzcheck.h"
#include "project/jsonparser.h"
#include "project/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    QJsonObject object;
    if (!JsonParser::parseObject(Fuzz::bytes(data, size), &object))
        return 0;
    const Scenario first = Scenario::fromJson(object);
    const QJsonObject written = first.toJson();
    const Scenario second = Scenario::fromJson(written);
    FUZZ_CHECK(second == first);
    FUZZ_CHECK(second.toJson() == written);
    return 0;
}
