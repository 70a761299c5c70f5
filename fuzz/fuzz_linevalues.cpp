// The answer to GET LO_CURRENT_VALUES: any answer is read without a crash; eight fields or
// nothing, and every line's text is a value in volts with three decimals.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"
#include "link/linevalues.h"

#include <QRegularExpression>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QString text = ConnectionDevice::decode(Fuzz::bytes(data, size));
    const LineValues values = LineValues::parse(text);
    if (!values.valid) {
        for (int n = 0; n < LineValues::lineCount; ++n)
            FUZZ_CHECK(!values.measured[size_t(n)]);
        return 0;
    }
    FUZZ_CHECK(text.trimmed().split(QLatin1Char(',')).size() == LineValues::lineCount);
    static const QRegularExpression volts(QStringLiteral("^-?[0-9]+\\.[0-9]{3}$"));
    for (int n = 0; n < LineValues::lineCount; ++n) {
        if (!values.measured[size_t(n)])
            continue;
        const QString shown = LineValues::voltsText(values.values[size_t(n)]);
        FUZZ_CHECK(volts.match(shown).hasMatch());
        FUZZ_CHECK(LineValues::millivolts(shown.toDouble()) == values.values[size_t(n)]);
    }
    return 0;
}
