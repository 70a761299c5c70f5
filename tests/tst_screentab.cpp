// The "Скриншоты" tab of the central unit window against a simulated unit: the screen read
// once a second only while "Читать из устройства" is ticked, one request at a time, what
// each kind of answer shows, the local preview, and the screenshots (numbering, a file
// that is already there, a folder that cannot be made).

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"
#include "tovikwindowtest.h"

#include "devices/screenframe.h"
#include "devices/tovikdevicewindow.h"
#include "devices/tovikscreentab.h"
#include "link/screenfont.h"
#include "link/screenrenderer.h"

#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

// A screen with a dot in every third column of every fifth row.
QByteArray unitBitmap()
{
    UnitScreen screen = UnitScreen::blank();
    for (int row = 0; row < UnitScreen::rows; row += 5) {
        for (int column = 0; column < UnitScreen::columns; column += 3)
            screen.setDot(column, row, true);
    }
    return screen.bytes();
}

QByteArray answerOf(const QByteArray &bytes)
{
    return bytes.toHex().toUpper() + "\r\nOK\r\n";
}

struct AnswerRow {
    const char *name;
    QByteArray raw; // the unit's answer, as sent
    enum Shows { Kept, Empty, Other } shows;
};

struct ShotRow {
    const char *name;
    const char *index; // [screenshots] index; null: not set
    QStringList present; // files in the folder before
    bool blocked; // the folder cannot be made (a file stands where a parent folder must be)
    int saves;
    QStringList written; // the new files, in order
    const char *indexAfter; // null: not set afterwards
};

} // namespace

Q_DECLARE_METATYPE(AnswerRow)
Q_DECLARE_METATYPE(ShotRow)

class TestScreenTab : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // Nothing is asked while the box is clear; ticked, the screen is read every second and
    // shown as the renderer draws it; cleared again, the reads stop.
    void readsOnlyWhileTicked()
    {
        open();
        QVERIFY(waitRead());
        auto log = [this] { return harness->requestLog(rig->sim); };
        int from = log().size();
        QTRY_VERIFY_WITH_TIMEOUT(log().mid(from).count("GET STATUS") >= 10, 10000);
        QCOMPARE(log().count("GET SCREEN"), 0);

        box()->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(frame()->screen().bytes(), unitBitmap(), 10000);
        QCOMPARE(frame()->grabImage(), ScreenRenderer::render(UnitScreen(unitBitmap())));
        from = log().size();
        QTRY_VERIFY_WITH_TIMEOUT(log().mid(from).count("GET SCREEN") >= 5, 10000);
        // Each tick asks once: about as many screens as status requests.
        const QStringList ticked = log().mid(from);
        QVERIFY2(qAbs(ticked.count("GET SCREEN") - ticked.count("GET STATUS")) <= 2,
                 qPrintable(ticked.join(", ")));

        box()->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!tab()->requestOutstanding(), 10000);
        from = log().size();
        QTRY_VERIFY_WITH_TIMEOUT(log().mid(from).count("GET STATUS") >= 10, 10000);
        QCOMPARE(log().mid(from).count("GET SCREEN"), 0);
    }

    // A unit that answers slowly gets one screen request at a time, not one per tick.
    void oneOutstanding()
    {
        open();
        QVERIFY(waitRead());
        harness->setFault(rig->sim, QStringLiteral("delay=60"));
        const int from = harness->requestLog(rig->sim).size();
        box()->setChecked(true);
        // Some 40 ticks while 16 requests are answered.
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).size() - from >= 16, 10000);
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        harness->clearFaults(rig->sim);
        QVERIFY2(log.count("GET SCREEN") <= log.count("GET STATUS") + 1,
                 qPrintable(log.join(", ")));
        QVERIFY(log.count("GET SCREEN") >= 2);
    }

    void answers_data()
    {
        UnitScreen other = UnitScreen::blank();
        other.setDot(64, 16, true);
        const AnswerRow rows[] = {
            {"refusal keeps the picture", "ERROR\r\n", AnswerRow::Kept},
            {"511 bytes show the empty screen", unitBitmap().left(511).toHex() + "\r\nOK\r\n",
             AnswerRow::Empty},
            {"damaged digits show the empty screen",
             unitBitmap().toHex().replace(0, 2, "zz") + "\r\nOK\r\n", AnswerRow::Empty},
            {"another screen is shown", answerOf(other.bytes()), AnswerRow::Other},
        };
        TestUtil::addRows(rows);
    }

    // After a good screen: a failed answer never becomes a picture, an answer of the wrong
    // form is the empty screen, another screen replaces the first.
    void answers()
    {
        QFETCH(AnswerRow, row);
        open();
        QVERIFY(waitRead());
        box()->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(frame()->screen().bytes(), unitBitmap(), 10000);
        harness->setRawAnswer(rig->sim, QStringLiteral("GET SCREEN"), row.raw);
        const int from = harness->requestLog(rig->sim).size();
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).mid(from).count("GET SCREEN") >= 3,
                                 10000);
        box()->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!tab()->requestOutstanding(), 10000);
        harness->clearFaults(rig->sim);
        const UnitScreen shown = frame()->screen();
        switch (row.shows) {
        case AnswerRow::Kept:
            QCOMPARE(shown.bytes(), unitBitmap());
            break;
        case AnswerRow::Empty:
            QVERIFY(!shown.isValid());
            QCOMPARE(frame()->grabImage().pixelColor(11, 11), QColor(157, 181, 209));
            break;
        case AnswerRow::Other:
            QVERIFY(shown.dot(64, 16));
            QVERIFY(!shown.dot(0, 0));
            break;
        }
    }

    // "Установить" draws the four lines without asking the unit; the tab's controls are
    // usable.
    void preview()
    {
        open();
        QVERIFY(waitRead());
        for (const char *name :
             {"lineEditScreen1", "lineEditScreen4", "checkBoxReadScreen", "logScreenShots"})
            QVERIFY2(widget(rig->window, name)->isEnabled(), name);
        const QStringList lines = {QStringLiteral("ПОЖАР! Этаж 3"), QStringLiteral("Line 2"),
                                   QString(), QStringLiteral("Неисправность линии ЛО2: обрыв")};
        for (int i = 0; i < 4; ++i)
            widget<QLineEdit>(rig->window,
                              qPrintable(QStringLiteral("lineEditScreen%1").arg(i + 1)))
                ->setText(lines.at(i));
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadScreen")->click();
        QCOMPARE(frame()->screen(), ScreenFont::preview(lines));
        QVERIFY(frame()->screen().dot(1, 0)); // the top of "П"
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(harness->requestLog(rig->sim).mid(from).count("GET SCREEN"), 0);
    }

    void screenshots_data()
    {
        // clang-format off
        const ShotRow rows[] = {
            {"twice into a fresh folder", nullptr, {}, false, 2, {"shot_0.bmp", "shot_1.bmp"}, "2"},
            {"a file already there is kept", nullptr, {"shot_0.bmp"}, false, 1, {"shot_1.bmp"}, "2"},
            {"the stored index", "5", {"shot_0.bmp"}, false, 1, {"shot_5.bmp"}, "6"},
            {"the first free number from the index", "1", {"shot_1.bmp", "shot_2.bmp"}, false, 2, {"shot_3.bmp", "shot_4.bmp"}, "5"},
            {"an index that is not a number", "x", {}, false, 1, {"shot_0.bmp"}, "1"},
            {"a folder that cannot be made", "3", {}, true, 1, {}, "3"},
        };
        // clang-format on
        TestUtil::addRows(rows);
    }

    // Each screenshot is the frame's picture in a new file; files already there stay as
    // they are; the log says where each went, or why it was not saved.
    void screenshots()
    {
        QFETCH(ShotRow, row);
        if (row.index)
            settings->setValue(QStringLiteral("screenshots/index"), QLatin1String(row.index));
        if (row.blocked) {
            QVERIFY(
                TestUtil::writeFile(dir.filePath(QStringLiteral("blocker-%1").arg(count)), "x"));
            shots = dir.filePath(QStringLiteral("blocker-%1/screen").arg(count));
            settings->setValue(QStringLiteral("paths/screenshotfolder"), shots);
        }
        if (!row.present.isEmpty())
            QVERIFY(QDir().mkpath(shots));
        for (const QString &name : row.present)
            QVERIFY(TestUtil::writeFile(shots + '/' + name, "keep " + name.toLatin1()));
        open();
        tab()->frame()->setScreen(UnitScreen(unitBitmap()));
        const QImage picture = frame()->grabImage();
        QCOMPARE(picture, ScreenRenderer::render(UnitScreen(unitBitmap())));

        for (int i = 0; i < row.saves; ++i)
            widget<QPushButton>(rig->window, "pushButtonSaveScreen")->click();

        QStringList expectedLog;
        for (const QString &name : row.written)
            expectedLog << QStringLiteral("Сохранено в ") + shots + '/' + name;
        const QStringList logLines = widget<QPlainTextEdit>(rig->window, "logScreenShots")
                                         ->toPlainText()
                                         .split('\n', Qt::SkipEmptyParts);
        if (row.blocked) {
            QCOMPARE(logLines.size(), 1);
            QVERIFY2(logLines.first().startsWith(QStringLiteral("Скриншот не сохранён: ")),
                     qPrintable(logLines.first()));
            QVERIFY(!QFileInfo::exists(shots));
        } else {
            QCOMPARE(logLines, expectedLog);
        }
        for (const QString &name : row.present)
            QCOMPARE(TestUtil::readFile(shots + '/' + name), "keep " + name.toLatin1());
        for (const QString &name : row.written) {
            QImage saved;
            QVERIFY2(saved.load(shots + '/' + name, "BMP"), qPrintable(name));
            QCOMPARE(saved.size(), QSize(1040, 272));
            QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), picture);
        }
        QStringList expectedFiles = row.present + row.written;
        expectedFiles.sort();
        QCOMPARE(QDir(shots).entryList(QDir::Files, QDir::Name), expectedFiles);
        settings->sync();
        QCOMPARE(settings->value(QStringLiteral("screenshots/index")).toString(),
                 QLatin1String(row.indexAfter));
    }

private:
    bool waitRead() { return TovikWindowTest::waitUnitRead(harness.get(), rig.get()); }

    void open()
    {
        rig = openRig(harness.get(), settings.get(), DeviceType::Tovik2, 3100 + count,
                      QStringLiteral("127.113.0.%1").arg(count + 1), 20, [](SimDevice *device) {
                          device->screenAnswer =
                              QString::fromLatin1(unitBitmap().toHex().toUpper());
                      });
        QVERIFY(rig->window);
        QVERIFY(tab());
    }

    TovikScreenTab *tab() const { return rig->window->findChild<TovikScreenTab *>(); }
    ScreenFrame *frame() const { return tab()->frame(); }
    QCheckBox *box() const { return widget<QCheckBox>(rig->window, "checkBoxReadScreen"); }

    // Every test function has a screenshot folder of its own, which does not exist yet.
    void initFunction() override
    {
        settings->setValue(QStringLiteral("application/screenshot"), QStringLiteral("1"));
        shots = dir.filePath(QStringLiteral("shots-%1/screen").arg(++count));
        settings->setValue(QStringLiteral("paths/screenshotfolder"), shots);
    }

    QString shots;
    int count = 0;
};

NORDA_GUI_TEST_MAIN(TestScreenTab)
#include "tst_screentab.moc"
