// "norda-cli device ... screen OUT.png" against norda-devsim units whose screens are set
// from the command line: the picture read back equals what the window's frame draws, and a
// refused or incomplete answer is an error without a picture.

#include "testutil.h"

#include "link/screenfont.h"
#include "link/screenrenderer.h"
#include "link/unitscreen.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace TestUtil;

namespace {

const QStringList textLines = {QStringLiteral("ПОЖАР! Этаж 3"), QStringLiteral("Эвакуация"),
                               QStringLiteral("ЛО1-ЛО8: норма"), QStringLiteral("12:30 07.12.26")};

// Dots along both diagonals of the screen.
QByteArray diagonals()
{
    UnitScreen screen = UnitScreen::blank();
    for (int column = 0; column < UnitScreen::columns; ++column) {
        screen.setDot(column, column / 4, true);
        screen.setDot(column, 31 - column / 4, true);
    }
    return screen.bytes();
}

struct PictureRow {
    const char *name;
    const char *unit;
    UnitScreen screen;
};

} // namespace

Q_DECLARE_METATYPE(PictureRow)

class TestCliScreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // The diagonals in hexadecimal, broken into lines; 511 bytes as they are.
        const QByteArray hex = diagonals().toHex();
        QVERIFY(writeFile(dir.filePath("diagonals.hex"),
                          hex.left(300) + "\n" + hex.mid(300, 400) + "\r\n" + hex.mid(700) + "\n"));
        QVERIFY(writeFile(dir.filePath("short.bin"), diagonals().left(511)));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NORDA_VIRTUAL_PORTS", dir.filePath("ports"));
        environment.insert("NORDA_VIRTUAL_PORTS_ONLY", "1");
        QVERIFY(QDir().mkpath(dir.filePath("ports")));
        simulator.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                        {"--device",       "tovik2:2201@127.114.0.2",
                         "--device",       "tovik2:2202@127.114.0.3",
                         "--device",       "tovik2:2203@127.114.0.4",
                         "--device",       "tovik2:2204@127.114.0.5",
                         "--device",       "horn:2205@127.114.0.6",
                         "--command-port", "0",
                         "--screen-text",  "2201=" + textLines.join('|'),
                         "--screen-file",  "2202=" + dir.filePath("diagonals.hex"),
                         "--screen-file",  "2203=" + dir.filePath("short.bin"),
                         "--fault",        "2204:fail=-1:GET SCREEN"});
        QByteArray output;
        QList<TestUtil::SimEndpoint> started;
        QVERIFY2(TestUtil::waitForSimulator(simulator, &started, &output), output.constData());
        for (const TestUtil::SimEndpoint &device : qAsConst(started))
            endpoints.insert(device.serial, device.address);
        QCOMPARE(endpoints.size(), 5);
    }

    void cleanupTestCase()
    {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(10000));
    }

    void pictures_data()
    {
        const PictureRow rows[] = {
            {"text lines", "2201", ScreenFont::preview(textLines)},
            {"hexadecimal file", "2202", UnitScreen(diagonals())},
        };
        addRows(rows);
    }

    // The PNG is the frame's 1040 x 272 picture of the unit's screen, pixel for pixel.
    void pictures()
    {
        QFETCH(PictureRow, row);
        const QString out = dir.filePath(QStringLiteral("%1.png").arg(row.unit));
        const CliRun run = runCli({"device", "--tcp", endpoints.value(row.unit), "screen", out});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("screen saved to %1\n").arg(out));
        QImage picture;
        QVERIFY(picture.load(out, "PNG"));
        QCOMPARE(picture.size(), QSize(1040, 272));
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32), ScreenRenderer::render(row.screen));
        // Not a blank picture: the screen has dots.
        QVERIFY(row.screen.bytes().count('\0') < UnitScreen::bufferBytes);
    }

    void failures_data()
    {
        const CliFailure rows[] = {
            // clang-format off
            {"511 bytes", {"2203", "%DIR%/short.png"}, 4, "the screen answer is not 512 bytes in hexadecimal (1022 characters)"},
            {"refused", {"2204", "%DIR%/refused.png"}, 4, "reading the screen failed: ERROR"},
            {"a device without a screen", {"2205", "%DIR%/horn.png"}, 4, "reading the screen failed: ERROR"},
            {"picture cannot be written", {"2201", "%DIR%/none/x.png"}, 2, "cannot write %DIR%/none/x.png: "},
            // clang-format on
        };
        addRows(rows);
    }

    // Exit 4 when the unit gave no whole screen, 2 when the picture cannot be written; no
    // picture is left behind either way.
    void failures()
    {
        QFETCH(CliFailure, row);
        const QString out = QString(row.args.at(1)).replace("%DIR%", dir.path());
        const CliRun run =
            runCli({"device", "--tcp", endpoints.value(row.args.at(0)), "screen", out});
        QCOMPARE(run.code, row.code);
        const QStringList lines = run.err.trimmed().split(QLatin1Char('\n'));
        const QString message = QString(row.message).replace("%DIR%", dir.path());
        QVERIFY2(lines.last().startsWith("norda-cli: " + message), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(run.out, QString());
    }

    void usage()
    {
        const CliRun run = runCli({"device", "--tcp", endpoints.value("2201"), "screen"});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.trimmed().endsWith("norda-cli: wrong number of arguments"),
                 qPrintable(run.err));
    }

private:
    QTemporaryDir dir;
    QProcess simulator;
    QMap<QString, QString> endpoints;
};

QTEST_GUILESS_MAIN(TestCliScreen)
#include "tst_cliscreen.moc"
