// The unit's screen: any "SCREEN" answer is read without a crash into either a whole
// 512-byte screen or the empty one, and any text gives a preview of four full pages.
#include "fuzz/fuzzcheck.h"
#include "link/connectiondevice.h"
#include "link/screenfont.h"
#include "link/unitscreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::quietQt();
    const QByteArray input = Fuzz::bytes(data, size);

    // As an answer, the way the worker hands it on.
    const QString answer = ConnectionDevice::decode(input);
    const UnitScreen screen = UnitScreen::fromAnswer(answer);
    if (screen.isValid()) {
        FUZZ_CHECK(screen.bytes().size() == UnitScreen::bufferBytes);
        FUZZ_CHECK(QString::fromLatin1(screen.bytes().toHex()) == answer.trimmed().toLower());
    } else {
        FUZZ_CHECK(screen.bytes().isEmpty());
        FUZZ_CHECK(!screen.dot(0, 0));
    }

    // As the four lines of a preview, typed by a user.
    const QStringList lines = QString::fromUtf8(input).split(QLatin1Char('\n'));
    const UnitScreen preview = ScreenFont::preview(lines);
    FUZZ_CHECK(preview.isValid());
    for (int page = 0; page < UnitScreen::pages; ++page) {
        const QByteArray text = ScreenFont::lineText(lines.value(page));
        FUZZ_CHECK(text.size() <= ScreenFont::lineCharacters);
        FUZZ_CHECK(preview.bytes().mid(page * UnitScreen::pageBytes, UnitScreen::pageBytes) ==
                   ScreenFont::page(text));
        // Glyphs are seven dots high, and 25 of them leave the last three columns free.
        for (int column = 0; column < UnitScreen::columns; ++column) {
            FUZZ_CHECK(!preview.dot(column, page * 8 + 7));
            if (column >= ScreenFont::lineCharacters * ScreenFont::glyphColumns)
                FUZZ_CHECK(!preview.dot(column, page * 8));
        }
    }
    return 0;
}
