#include "testutil.h"

#include <QRegularExpression>
#include <QtTest>

using namespace TestUtil;

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void showPrintsTheTree()
    {
        const CliRun run = runCli({"project", "show", testData("roundtrip-in.mpj")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.err.isEmpty());
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        QCOMPARE(lines.at(0), "project: \"Школа №5\"");
        QVERIFY(lines.contains("last id: 9"));
        QVERIFY(lines.contains("groups: 2, devices: 5, scenarios: 1"));
        QVERIFY(lines.contains("group \"Корпус А\" id 1"));
        QVERIFY(lines.contains("    path: Корпус А-->Этаж 2"));
        QVERIFY(lines.contains(QStringLiteral(
            "  device horn \"Оповещатель/Громкоговоритель NORDA исп.IP\" serial 1001 id 2")));
        QVERIFY(lines.contains("    tag: \"Вход \\\"главный\\\"\""));
        QVERIFY(lines.contains("    ethernet: on address 127.0.0.2"));
        QVERIFY(lines.contains("    rs485: on address 5"));
        QVERIFY(lines.contains("    inouts: 3 (inputs 1, outputs 2)"));
        QVERIFY(lines.contains(QStringLiteral(
            "device bexar_tovik2 \"Пульт микрофонный NORDA-4400\" serial 3003 id 9")));
        QVERIFY(lines.contains("  inouts: 4 (inputs 3, outputs 1), buttons 2, links 0"));
        QVERIFY(lines.contains("device - \"Неизвестное устройство\" serial 4004 id 5"));
        QVERIFY(lines.contains("device bootloader \"Загрузчик NORDA\" serial 5005 id 6"));
    }

    // Every scenario with its options, its algorithms in order and their events, each
    // event with what it names in the project.
    void scenariosListsAlgorithmsAndEvents()
    {
        const CliRun run = runCli({"project", "scenarios", m_files.filePath("scenarios.mpj")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err, QString());
        QCOMPARE(
            run.out.split('\n'),
            QStringList({
                "project: \"Сценарии\"",
                "scenarios: 2",
                "scenario 1 \"Пожар\": priority 3, timer on, schedule off, dependencies on, "
                "algorithms 5",
                "  algorithm 1 start (type 0), runby event_list, events 4",
                "    event device 4201 input 9 state 1: norda4200 \"Вход ППК1\"",
                "    event device 4301 input 2 state 0: ip_pult \"Кнопка 2\"",
                "    event device 9999 input 1 state 1: no such device in the project",
                "    event device 4201 input 99 state 1: norda4200, no such input",
                "  algorithm 2 timer (type 1), events 0",
                "  algorithm 3 algorithm (type 2), events 0",
                "  algorithm 4 schedule (type 3), events 0",
                "  algorithm 5 stop (type 255), stopby inputs_off, events 0",
                "scenario 2 \"Всегда\": priority -1, timer on, schedule off, dependencies off, "
                "algorithms 2",
                "  algorithm 1 start (type 0), runby always, events 0",
                "  algorithm 2 unknown (type 7), events 0",
                "",
            }));
    }

    void saveAsWritesWhatTheConsoleWrites()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("out.mpj");
        const CliRun run = runCli({"project", "save-as", testData("roundtrip-in.mpj"), out});
        QCOMPARE(run.code, 0);
        QByteArray written = readFile(out);
        written = QString::fromUtf8(written)
                      .replace(QRegularExpression("\"time\": \"[^\"]*\""), "\"time\": \"TIME\"")
                      .toUtf8();
        QCOMPARE(written, readFile(testData("roundtrip-expected.mpj")));
    }

    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        const QByteArray group = R"({"nodetype":"group","name":"g","nodes":[)";
        const struct {
            const char *name;
            QByteArray content;
        } files[] = {
            {"buttons.mpj",
             R"({"nodes":[{"nodetype":"device","type":"bexar_tovik2","serial":1,"keys_count":300000000}]})"},
            {"objects.mpj",
             "{\"nodes\":" + QByteArray("{\"a\":").repeated(1000000) + "1" +
                 QByteArray(1000000, '}') + "}"},
            {"groups.mpj",
             "{\"nodes\":[" + group.repeated(257) + QByteArray("]}").repeated(257) + "]}"},
            {"ids.mpj", R"({"id_obj":2147483647,"nodes":[{"nodetype":"device","type":"horn"}]})"},
            {"array.mpj", "[]"},
            {"scenarios.mpj", R"({"name":"Сценарии","nodes":[
                {"nodetype":"device","id_obj":1,"type":"norda4200","serial":4201},
                {"nodetype":"device","id_obj":2,"type":"ip_pult","serial":4301,"keys_count":2}],
             "scenarios":[
                {"name":"Пожар","priority":3,"timer":true,"dependencies":true,"algos":[
                    {"type":0,"runby":"event_list","events":[
                        {"device_index":4201,"inout_index":9,"state":1},
                        {"device_index":4301,"inout_index":2,"state":0},
                        {"device_index":9999,"inout_index":1,"state":1},
                        {"device_index":4201,"inout_index":99,"state":1}]},
                    {"type":1},{"type":2},{"type":3},
                    {"type":255,"stopby":"inputs_off"}]},
                {"name":"Всегда","algos":[{"type":0},{"type":7}]}]})"},
            // Console 500 links its button to lines 1, 2 and 8 of unit 2002; console 501 to
            // a loudspeaker whose address is not one.
            {"keys.mpj", R"({"nodes":[
                {"nodetype":"device","id_obj":1,"type":"ip_pult","serial":500,"keys_count":1,
                 "inouts":[{"type":7,"name":"Все","description":"Кнопка 1","index":1,
                            "outlinks":[{"id_obj":2,"indexes":[1,2,8]}]}]},
                {"nodetype":"device","id_obj":2,"type":"tovik2","serial":2002,
                 "ip_enabled":true,"ip_addr":"127.0.0.5"},
                {"nodetype":"device","id_obj":3,"type":"ip_pult","serial":501,"keys_count":1,
                 "inouts":[{"type":7,"description":"Кнопка 1","index":1,
                            "outlinks":[{"id_obj":4,"indexes":[1]}]}]},
                {"nodetype":"device","id_obj":4,"type":"horn","serial":1001,
                 "ip_enabled":true,"ip_addr":"127.0.0.300"}]})"},
        };
        for (const auto &file : files)
            QVERIFY(writeFile(m_files.filePath(file.name), file.content));
    }

    void failures_data()
    {
        const QString unusable = testData("not-a-project.mpj");
        const QString input = testData("roundtrip-in.mpj");
        auto file = [this](const char *name) { return m_files.filePath(name); };
        auto unusableFile = [&file](const char *name, const char *reason) {
            return "project file " + file(name) + " is unusable: " + reason;
        };
        const CliFailure rows[] = {
            // clang-format off
            {"missing file", {"project", "show", "/nonexistent/p.mpj"}, 2, "cannot open project file /nonexistent/p.mpj: no such file"},
            {"not a project", {"project", "show", unusable}, 3, "project file " + unusable + " is unusable: not JSON: invalid value at offset 0"},
            {"not an object", {"project", "show", file("array.mpj")}, 3, unusableFile("array.mpj", "not a JSON object")},
            {"300000000 buttons", {"project", "show", file("buttons.mpj")}, 3, unusableFile("buttons.mpj", "a device has keys_count 300000000, more than the 128 buttons of any console")},
            {"a million nested objects", {"project", "show", file("objects.mpj")}, 3, unusableFile("objects.mpj", "not JSON: nested deeper than 1024 levels at offset 5124")},
            {"257 nested groups", {"project", "show", file("groups.mpj")}, 3, unusableFile("groups.mpj", "groups nested deeper than 256 levels")},
            {"no identifier left", {"project", "show", file("ids.mpj")}, 3, unusableFile("ids.mpj", "no object identifier left for the groups and devices without one")},
            {"save-as of an unusable file", {"project", "save-as", file("buttons.mpj"), file("out.mpj")}, 3, unusableFile("buttons.mpj", "a device has keys_count 300000000, more than the 128 buttons of any console")},
            {"save-as missing input", {"project", "save-as", "/nonexistent/p.mpj", "/tmp/x.mpj"}, 2, "cannot open project file /nonexistent/p.mpj: no such file"},
            {"save-as unwritable output", {"project", "save-as", input, "/nonexistent/out.mpj"}, 2, "cannot write project file /nonexistent/out.mpj"},
            {"key-image missing project", {"project", "key-image", "/nonexistent/p.mpj", "500", file("out.mpj")}, 2, "cannot open project file /nonexistent/p.mpj: no such file"},
            {"key-image unknown serial", {"project", "key-image", file("keys.mpj"), "9999", file("out.mpj")}, 2, "project file " + file("keys.mpj") + " has no device with serial number 9999"},
            {"key-image unwritable output", {"project", "key-image", file("keys.mpj"), "500", "/nonexistent/out.bin"}, 2, "cannot write /nonexistent/out.bin: No such file or directory"},
            {"key-image of an unusable project", {"project", "key-image", file("buttons.mpj"), "1", file("out.mpj")}, 3, unusableFile("buttons.mpj", "a device has keys_count 300000000, more than the 128 buttons of any console")},
            {"key-image with a malformed address", {"project", "key-image", file("keys.mpj"), "501", file("out.mpj")}, 3, "cannot build the key image of device 501: button 1 \"Кнопка 1\": device 4 (serial 1001) has the IPv4 address '127.0.0.300', which is not four decimal numbers from 0 to 255"},
            {"key-image serial not a number", {"project", "key-image", file("keys.mpj"), "5O0", file("out.mpj")}, 1, "'5O0' is not a serial number (0 to 4294967295)"},
            {"scenarios missing project", {"project", "scenarios", "/nonexistent/p.mpj"}, 2, "cannot open project file /nonexistent/p.mpj: no such file"},
            {"scenarios of an unusable project", {"project", "scenarios", file("array.mpj")}, 3, unusableFile("array.mpj", "not a JSON object")},
            {"scenarios without file", {"project", "scenarios"}, 1, "wrong number of arguments"},
            {"no arguments", {}, 1, ""},
            {"unknown command", {"frobnicate"}, 1, "unknown command 'frobnicate'"},
            {"unknown project command", {"project", "print"}, 1, "unknown project command 'print'"},
            {"show without file", {"project", "show"}, 1, "wrong number of arguments"},
            {"unknown option", {"project", "show", "--colour", "x.mpj"}, 1, "Unknown option 'colour'."},
            // clang-format on
        };
        addRows(rows);
    }

    // The image of a console, and the bare header for another device, replace what was in
    // the output file.
    void keyImage_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("console") << "500"
                                 << QByteArray::fromHex("1A000000 0100 1200 00 03 C2F1E5"
                                                        " 0C C0 01 D2070000 0500007F 01 83");
        QTest::newRow("not a console") << "2002" << QByteArray::fromHex("06000000 0100");
    }

    void keyImage()
    {
        QFETCH(QString, serial);
        QFETCH(QByteArray, image);
        const QString out = m_files.filePath("image.bin");
        QVERIFY(writeFile(out, QByteArray(100, 'x')));
        const CliRun run =
            runCli({"project", "key-image", m_files.filePath("keys.mpj"), serial, out});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringLiteral("wrote %1 bytes to %2\n").arg(image.size()).arg(out));
        QCOMPARE(readFile(out).toHex(' '), image.toHex(' '));
    }

    void failures()
    {
        QFETCH(CliFailure, row);
        const CliRun run = runCli(row.args);
        QCOMPARE(run.code, row.code);
        QVERIFY(!QFile::exists(m_files.filePath("out.mpj")));
        QVERIFY(run.out.isEmpty());
        if (!row.message.isEmpty()) {
            const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QCOMPARE(lines.last(), "norda-cli: " + row.message);
        }
    }

    void help_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("top") << QStringList {"--help"} << "project";
        QTest::newRow("project") << QStringList {"project", "--help"} << "key-image";
        QTest::newRow("show") << QStringList {"project", "show", "--help"} << "FILE.mpj";
        QTest::newRow("save-as") << QStringList {"project", "save-as", "--help"} << "OUT.mpj";
        QTest::newRow("key-image") << QStringList {"project", "key-image", "--help"} << "SERIAL";
    }

    void help()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        const CliRun run = runCli(args);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains(mentions), qPrintable(run.out));
    }

private:
    QTemporaryDir m_files;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
