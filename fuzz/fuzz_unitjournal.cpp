// A central unit's journal answers and the journal fields of its status: any answer is read
// without a crash; one that is accepted is exactly "0," + the index asked for + "," + 14
// hexadecimal digits, and its record always has a time, a type and a text to show.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"
#include "link/tovikstatus.h"
#include "link/unitjournalrecord.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QString text = ConnectionDevice::decode(Fuzz::bytes(data, size));

    // The index asked for is the one the answer names, when it names a small one.
    const QStringList fields = text.trimmed().split(QLatin1Char(','));
    const quint64 index = fields.size() > 1 ? fields.at(1).trimmed().toULongLong() : 0;
    UnitJournalRecord record;
    if (UnitJournalRecord::parseAnswer(text, index, &record)) {
        FUZZ_CHECK(fields.size() == 3);
        FUZZ_CHECK(fields.at(2).trimmed().size() == 2 * UnitJournalRecord::recordBytes);
        FUZZ_CHECK(record.code >= 0 && record.code < 64);
        FUZZ_CHECK(record.number >= 0 && record.number < 256);
        FUZZ_CHECK(record.mask >= 0 && record.mask < 256);
        FUZZ_CHECK(record.timeText().size() == 19);
        FUZZ_CHECK(!record.text().isEmpty());
        FUZZ_CHECK(record.typeText() == QStringLiteral("событие") ||
                   record.typeText() == QStringLiteral("неисправность"));
        // Another index is never this record.
        UnitJournalRecord other;
        FUZZ_CHECK(!UnitJournalRecord::parseAnswer(text, index + 1, &other));
    }
    UnitJournalRecord bare;
    if (UnitJournalRecord::decode(text, &bare))
        FUZZ_CHECK(text.size() == 2 * UnitJournalRecord::recordBytes);

    const TovikStatus status = TovikStatus::parse(text);
    if (!status.hasJournal)
        FUZZ_CHECK(status.journalPosition == 0 && status.journalCount == 0 &&
                   status.journalCapacity == 0);
    else
        FUZZ_CHECK(status.valid && text.split(QLatin1Char(',')).size() >= 6);
    return 0;
}
