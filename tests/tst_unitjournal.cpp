// A central unit's event journal without a window: the record decoder and the answers it
// accepts, the journal fields of the status answer, the reading job against the simulated
// unit (wrap-around, empty and partly filled journals, answers that are not the record asked
// for, cancel, link loss). "norda-cli device ... journal" is tested in tst_clidevice.

#include "facadelink.h"
#include "jobs/unitjournalreadjob.h"
#include "link/amodule.h"
#include "link/tovikstatus.h"
#include "link/unitjournalrecord.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simdevice.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <functional>

namespace {

// "00F15365": 1700000000, 22:13:20 14.11.2023 UTC (the tests run in UTC).
const QString t0 = QStringLiteral("00F15365");

using Link = FacadeLink;

QStringList journalRequests(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line.startsWith(QLatin1String("GET JOURNAL")))
            lines << line;
    }
    return lines;
}

} // namespace

class TestUnitJournal : public QObject {
    Q_OBJECT

private slots:
    void decode_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");

        const QString f = QStringLiteral("неисправность");
        const QString e = QStringLiteral("событие");
        const QString at = QStringLiteral("22:13:20 14.11.2023");
        const auto row = [&](const char *name, const QString &tail, const QString &type,
                             const char *text) {
            QTest::newRow(name) << t0 + tail << at << type << QString::fromUtf8(text);
        };
        row("battery fault", "C00000", f, "Неисправность батареи");
        row("mains fault ended", "810000", f, "Окончание неисправности: Неисправность сети");
        row("amplifier, no fault bit", "420000", e, "Неисправность УМ");
        row("control input ended", "030000", e,
            "Окончание неисправности: Неисправность Входа Управления");
        row("tamper", "C40000", f, "Вскрытие прибора");
        row("console 7", "C50700", f, "Ошибка связи с пультом №7");
        row("extension unit 3", "C60300", f, "Ошибка связи с БР3");
        row("extension unit 9 general, ended", "870900", f,
            "Окончание неисправности: Общая ошибка БР9");
        row("reset with fault bit", "C80000", e, "СБРОС СОСТОЯНИЯ");
        row("reset", "080000", e, "СБРОС СОСТОЯНИЯ");
        row("ppk 1 and 3", "C90005", f, "Неиправность ППК1, ППК3");
        row("short circuit lines 2 and 8", "CA0082", f,
            "Изменение состояния линий: Короткое замыкание ЛО2, ЛО8");
        row("open line 1, ended", "8B0001", f, "Изменение состояния линий: Обрыв ЛО1");
        row("tolerance line 5", "4C0010", e, "Изменение состояния линий: выход за пределы ЛО5");
        row("input 1", "CD0000", f, "Неиправность Неисправность ВХОД 1");
        row("input 2, no fault bit", "0E0000", e, "Неиправность Неисправность ВХОД 2");
        row("central unit link", "CF0000", f, "Неиправность Неисправность связи с ЦБ");
        row("code 16", "D00000", f, "Неиправность Неизвестно");
        row("code 63", "FFFFFF", f, "Неиправность Неизвестно");
        QTest::newRow("lower case, last second of the counter")
            << "ffffffffc00000"
            << "06:28:15 07.02.2106" << f << QString::fromUtf8("Неисправность батареи");
    }

    void decode()
    {
        QFETCH(QString, hex);
        QFETCH(QString, time);
        QFETCH(QString, type);
        QFETCH(QString, text);
        UnitJournalRecord record;
        QVERIFY(UnitJournalRecord::decode(hex, &record));
        QCOMPARE(record.timeText(), time);
        QCOMPARE(record.typeText(), type);
        QCOMPARE(record.text(), text);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");

        const QString record = t0 + "C00000";
        QTest::newRow("the record asked for") << "0,5," + record << true;
        QTest::newRow("line end") << "0,5," + record + "\r\n" << true;
        QTest::newRow("another index") << "0,6," + record << false;
        QTest::newRow("13 digits") << "0,5," + record.left(13) << false;
        QTest::newRow("15 digits") << "0,5," + record + "0" << false;
        QTest::newRow("8 bytes") << "0,5," + record + "00" << false;
        QTest::newRow("not hex") << "0,5," + record.left(13) + "G" << false;
        QTest::newRow("blank inside") << "0,5," + record.left(6) + " " + record.mid(7) << false;
        QTest::newRow("empty record") << "0,5," << false;
        QTest::newRow("two fields") << "5," + record << false;
        QTest::newRow("four fields") << "0,5," + record + ",1" << false;
        QTest::newRow("first not 0") << "1,5," + record << false;
        QTest::newRow("signed index") << "0,+5," + record << false;
        QTest::newRow("error") << "ERROR" << false;
    }

    void answers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        UnitJournalRecord record;
        QCOMPARE(UnitJournalRecord::parseAnswer(answer, 5, &record), accepted);
    }

    void statusFields_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("has");
        QTest::addColumn<quint64>("position");
        QTest::addColumn<quint64>("count");

        QTest::newRow("nine fields")
            << "tovik2 1,1.0,1700000000,17,3,1000,2,0,0" << true << quint64(17) << quint64(3);
        QTest::newRow("six fields")
            << "tovik2 1,1.0,1700000000,0,0,1000" << true << quint64(0) << quint64(0);
        QTest::newRow("unsigned 64-bit")
            << "tovik2 1,1.0,0,18446744073709551615,18446744073709551615,18446744073709551615"
            << true << quint64(18446744073709551615ULL) << quint64(18446744073709551615ULL);
        QTest::newRow("five fields")
            << "tovik2 1,1.0,1700000000,17,3" << false << quint64(0) << quint64(0);
        QTest::newRow("negative position")
            << "tovik2 1,1.0,1700000000,-1,3,1000" << false << quint64(0) << quint64(0);
        QTest::newRow("count not a number")
            << "tovik2 1,1.0,1700000000,17,x,1000" << false << quint64(0) << quint64(0);
    }

    void statusFields()
    {
        QFETCH(QString, answer);
        QFETCH(bool, has);
        QFETCH(quint64, position);
        QFETCH(quint64, count);
        const TovikStatus status = TovikStatus::parse(answer);
        QVERIFY(status.valid);
        QCOMPARE(status.hasJournal, has);
        QCOMPARE(status.journalPosition, position);
        QCOMPARE(status.journalCount, count);
    }

    // Journals the unit holds: set up as the simulator's --journal option, or with a status
    // answer of its own; what the job must end with and which slots it must ask for.
    void read_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("records");
        QTest::addColumn<QStringList>("firstRequests");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("firstMadeUp");

        const int done = int(DeviceJob::Status::Done);
        const int failed = int(DeviceJob::Status::Failed);
        QTest::newRow("1000 records, wrapped")
            << "capacity=1000,records=1250" << QString() << done << 1000
            << QStringList {"GET JOURNAL 0,250", "GET JOURNAL 0,251"} << 1000 << 250;
        QTest::newRow("full, not wrapped") << "capacity=1000,records=1000" << QString() << done
                                           << 1000 << QStringList {"GET JOURNAL 0,0"} << 1000 << 0;
        QTest::newRow("small ring wrapped")
            << "capacity=8,records=11" << QString() << done << 8
            << QStringList {"GET JOURNAL 0,3", "GET JOURNAL 0,4", "GET JOURNAL 0,5",
                            "GET JOURNAL 0,6", "GET JOURNAL 0,7", "GET JOURNAL 0,0"}
            << 8 << 3;
        QTest::newRow("partly filled")
            << "capacity=1000,records=5" << QString() << done << 5
            << QStringList {"GET JOURNAL 0,0", "GET JOURNAL 0,1"} << 5 << 0;
        QTest::newRow("empty") << "records=0" << QString() << done << 0 << QStringList() << 0 << 0;
        QTest::newRow("short status")
            << "records=5"
            << "tovik2 2002,1.0,1700000000,5,5" << failed << 0 << QStringList() << 0 << 0;
        QTest::newRow("position at the capacity") << "records=5"
                                                  << "tovik2 2002,1.0,1700000000,1000,5,1000,2,0,0"
                                                  << failed << 0 << QStringList() << 0 << 0;
        QTest::newRow("more records than the capacity")
            << "records=5"
            << "tovik2 2002,1.0,1700000000,0,1001,1000,2,0,0" << failed << 0 << QStringList() << 0
            << 0;
        QTest::newRow("answer for another index")
            << "capacity=1000,records=10,wrong-index=4" << QString() << failed << 0
            << QStringList {"GET JOURNAL 0,0"} << 5 << 0;
        QTest::newRow("malformed record") << "capacity=1000,file=%BAD%" << QString() << failed << 0
                                          << QStringList {"GET JOURNAL 0,0"} << 2 << 0;
    }

    void read()
    {
        QFETCH(QString, journal);
        QFETCH(QString, status);
        QFETCH(int, result);
        QFETCH(int, records);
        QFETCH(QStringList, firstRequests);
        QFETCH(int, requests);
        QFETCH(int, firstMadeUp);

        QTemporaryDir dir;
        const QString bad = dir.filePath("bad.txt");
        QVERIFY(TestUtil::writeFile(bad, (t0 + "C00000\n" + t0 + "C000\n").toLatin1()));
        journal.replace("%BAD%", bad);

        SimHarness harness;
        SimDevice *unit = harness.addDevice(DeviceType::Tovik2, 2002, "127.93.0.2");
        bool applied = false;
        QString error;
        harness.run([&] {
            applied = unit->journal.apply(journal, &error);
            unit->statusAnswer = status;
        });
        QVERIFY2(applied, qPrintable(error));
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(unit));
        Link link(target.get(), harness.tcpPort(unit));
        QVERIFY(link.waitIdentified());
        harness.clearLog(unit);

        UnitJournalReadJob job(&link.module);
        QSignalSpy finished(&job, &DeviceJob::finished);
        QSignalSpy progress(&job, &DeviceJob::progress);
        job.start();
        QVERIFY(finished.wait(20000));
        const auto outcome = finished.first().at(0).value<DeviceJob::Result>();
        QCOMPARE(int(outcome.status), result);
        const QVector<UnitJournalRecord> read = job.records();
        QCOMPARE(read.size(), records);

        QVERIFY(link.roundTripDescriptor());
        const QStringList log = harness.requestLog(unit);
        QCOMPARE(log.value(0), QStringLiteral("GET STATUS"));
        const QStringList asked = journalRequests(log);
        QCOMPARE(asked.size(), requests);
        QCOMPARE(asked.mid(0, firstRequests.size()), firstRequests);
        if (records == 0)
            return;
        QCOMPARE(progress.last().at(0).toLongLong(), qint64(records));
        // Oldest first, one a minute: the first record is made-up record `firstMadeUp`
        // (the code cycles through 0-15), and none is out of order or missing.
        QCOMPARE(read.first().code, firstMadeUp % 16);
        for (int i = 1; i < read.size(); ++i)
            QCOMPARE(read.at(i).seconds, read.at(i - 1).seconds + 60);
        QCOMPARE(read.last().code, (firstMadeUp + records - 1) % 16);
    }

    // Cancel stops the requests: none follows the record being answered, and a link loss
    // ends the job as LinkLost with no records.
    void interrupted_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<int>("result");
        QTest::newRow("cancel") << false << int(DeviceJob::Status::Cancelled);
        QTest::newRow("link lost") << true << int(DeviceJob::Status::LinkLost);
    }

    void interrupted()
    {
        QFETCH(bool, unplug);
        QFETCH(int, result);
        SimHarness harness;
        SimDevice *unit = harness.addDevice(DeviceType::Tovik2, 2003, "127.93.0.3");
        harness.run([&] {
            QString error;
            unit->journal.apply("capacity=1000,records=1000", &error);
        });
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(unit));
        Link link(target.get(), harness.tcpPort(unit));
        QVERIFY(link.waitIdentified());
        harness.clearLog(unit);

        UnitJournalReadJob job(&link.module);
        QSignalSpy finished(&job, &DeviceJob::finished);
        connect(&job, &DeviceJob::progress, this, [&](qint64 done) {
            if (done != 5)
                return;
            if (unplug)
                harness.unplug(unit);
            else
                job.cancel();
        });
        job.start();
        QVERIFY(finished.wait(20000));
        QCOMPARE(int(finished.first().at(0).value<DeviceJob::Result>().status), result);
        QVERIFY(job.records().isEmpty());
        if (unplug)
            return;
        QVERIFY(link.roundTripDescriptor());
        QCOMPARE(journalRequests(harness.requestLog(unit)).size(), 5);
    }
};

int main(int argc, char **argv)
{
    // Record times are shown in local time; the expected texts are UTC ones.
    qputenv("TZ", "UTC");
    tzset();
    QCoreApplication app(argc, argv);
    TestUnitJournal test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_unitjournal.moc"
