// The central unit's screen without a window: "SCREEN" answers decoded into a screen and
// drawn (pixels at chosen places of the 1040 x 272 picture), the empty screen for answers
// of the wrong form, and the preview's glyphs and lines.

#include "testutil.h"

#include "link/screenfont.h"
#include "link/screenrenderer.h"
#include "link/unitscreen.h"

#include <QImage>
#include <QtTest>

namespace {

// Dots of the known bitmap: (0, 0), (5, 10) and (127, 31).
QByteArray knownBitmap()
{
    QByteArray bytes(UnitScreen::bufferBytes, '\0');
    bytes[0] = char(0x01); // page 0, column 0, bit 0
    bytes[128 + 5] = char(0x04); // page 1, column 5, bit 2: row 10
    bytes[3 * 128 + 127] = char(0x80); // page 3, column 127, bit 7: row 31
    return bytes;
}

struct AnswerRow {
    const char *name;
    QString answer;
    bool valid;
};

struct PixelRow {
    const char *name;
    int x;
    int y;
    bool black; // on the known bitmap
};

struct GlyphRow {
    const char *name;
    QStringList lines;
    int page;
    int column;
    QByteArray columns;
};

} // namespace

Q_DECLARE_METATYPE(AnswerRow)
Q_DECLARE_METATYPE(PixelRow)
Q_DECLARE_METATYPE(GlyphRow)

class TestUnitScreen : public QObject {
    Q_OBJECT

private slots:
    void answers_data()
    {
        const QString hex = QString::fromLatin1(knownBitmap().toHex().toUpper());
        const AnswerRow rows[] = {
            {"upper case", hex, true},
            {"lower case with a line end", hex.toLower() + QStringLiteral("\r\n"), true},
            {"511 bytes", hex.left(1022), false},
            {"513 bytes", hex + QStringLiteral("00"), false},
            {"odd number of digits", hex + QStringLiteral("0"), false},
            {"a character that is no digit", hex.left(1023) + QStringLiteral("G"), false},
            {"blank inside", hex.left(500) + QStringLiteral(" ") + hex.mid(501), false},
            {"refusal", QStringLiteral("ERROR"), false},
            {"nothing", QString(), false},
        };
        TestUtil::addRows(rows);
    }

    // Only 512 bytes in hexadecimal are a screen, and its dots are where the bytes say;
    // anything else is the empty screen: the background alone, even where a dot would be.
    void answers()
    {
        QFETCH(AnswerRow, row);
        const UnitScreen screen = UnitScreen::fromAnswer(row.answer);
        QCOMPARE(screen.isValid(), row.valid);
        QCOMPARE(screen.dot(0, 0), row.valid);
        QCOMPARE(screen.dot(5, 10), row.valid);
        QCOMPARE(screen.dot(127, 31), row.valid);
        QVERIFY(!screen.dot(1, 0));
        QVERIFY(!screen.dot(5, 9));
        QVERIFY(!screen.dot(5, 11));
        if (row.valid)
            QCOMPARE(screen.bytes(), knownBitmap());

        const QImage image = ScreenRenderer::render(screen);
        QCOMPARE(image.size(), QSize(1040, 272));
        QCOMPARE(image.format(), QImage::Format_RGB32);
        const QColor background(157, 181, 209);
        const QColor dotCentre = image.pixelColor(11, 11);
        QCOMPARE(dotCentre, row.valid ? QColor(Qt::black) : background);
        if (!row.valid) {
            QImage empty(image.size(), QImage::Format_RGB32);
            empty.fill(background);
            QCOMPARE(image, empty);
        }
    }

    void pixels_data()
    {
        const PixelRow rows[] = {
            // Cells of 8 x 8 pixels from (8, 8); a dot is the 6 x 6 pixels from the cell's
            // corner (0.1 and 0.8 of 8, cut to whole pixels).
            {"centre of dot (0, 0)", 11, 11, true},
            {"top-left pixel of dot (0, 0)", 8, 8, true},
            {"bottom-right pixel of dot (0, 0)", 13, 13, true},
            {"gap right of dot (0, 0)", 14, 11, false},
            {"gap below dot (0, 0)", 11, 14, false},
            {"centre of clear dot (1, 0)", 19, 11, false},
            {"centre of dot (5, 10)", 51, 91, true},
            {"centre of clear dot (5, 9)", 51, 83, false},
            {"centre of dot (127, 31)", 1027, 259, true},
            {"left margin", 3, 11, false},
            {"top margin", 11, 3, false},
            {"right margin", 1035, 259, false},
            {"bottom margin", 1027, 267, false},
        };
        TestUtil::addRows(rows);
    }

    void pixels()
    {
        QFETCH(PixelRow, row);
        const QImage image = ScreenRenderer::render(UnitScreen(knownBitmap()));
        QCOMPARE(image.pixelColor(row.x, row.y),
                 row.black ? QColor(Qt::black) : QColor(157, 181, 209));
    }

    void glyphs_data()
    {
        auto bytes = [](const char *hex) { return QByteArray::fromHex(hex); };
        const GlyphRow rows[] = {
            {"Latin capital", {"A"}, 0, 0, bytes("7e0909097e")},
            {"Cyrillic capital", {"Ж"}, 0, 0, bytes("63147f1463")},
            {"Cyrillic capital at 255 - 32", {"Я"}, 0, 0, bytes("462919097f")},
            {"small yo (184)", {"ё"}, 0, 0, bytes("3855545518")},
            {"second glyph of the fourth line", {"", "", "", "AЖ"}, 3, 5, bytes("63147f1463")},
            {"control character is blank", {"\tA"}, 0, 0, bytes("00000000007e0909097e")},
            {"character outside Windows-1251 is '?'", {"✓"}, 0, 0, bytes("0201510906")},
            // A line shows its first 25 characters.
            {"25th character drawn", {"ABCDEFGHIJKLMNOPQRSTUVWXA"}, 0, 120, bytes("7e0909097e")},
            {"26th character not, nor anything after it",
             {"ABCDEFGHIJKLMNOPQRSTUVWXYA"},
             0,
             125,
             QByteArray(512 - 125, '\0')},
        };
        TestUtil::addRows(rows);
    }

    // The preview's pages: glyph columns side by side from column 0 of the line's page.
    void glyphs()
    {
        QFETCH(GlyphRow, row);
        const UnitScreen screen = ScreenFont::preview(row.lines);
        QVERIFY(screen.isValid());
        QCOMPARE(screen.bytes().mid(row.page * 128 + row.column, row.columns.size()), row.columns);
    }
};

QTEST_GUILESS_MAIN(TestUnitScreen)
#include "tst_unitscreen.moc"
