// The journal's time texts ("hh:mm:ss dd.MM.yyyy") are written and read without the
// locale in the usual case; whatever the input, the result must be the locale's.

#include "journal/databasewrapper.h"

#include <QLocale>
#include <QtTest>

#include <time.h>

class TestJournalTime : public QObject {
    Q_OBJECT

private:
    static QDateTime byLocale(const QString &text)
    {
        return QLocale::c().toDateTime(text, DatabaseWrapper::timeFormat);
    }
    static QString byLocale(const QDateTime &time)
    {
        return QLocale::c().toString(time, DatabaseWrapper::timeFormat);
    }

private slots:
    void initTestCase()
    {
        // A zone with summer time: an hour of the spring is skipped and one of the autumn
        // repeated.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void read_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("ordinary") << "14:07:09 05.03.2024";
        QTest::newRow("midnight") << "00:00:00 01.01.2000";
        QTest::newRow("last second of a year") << "23:59:59 31.12.1999";
        QTest::newRow("leap day") << "12:00:00 29.02.2024";
        QTest::newRow("no leap day") << "12:00:00 29.02.2023";
        QTest::newRow("day 32") << "12:00:00 32.01.2024";
        QTest::newRow("month 13") << "12:00:00 01.13.2024";
        QTest::newRow("hour 24") << "24:00:00 01.01.2024";
        QTest::newRow("minute 60") << "10:60:00 01.01.2024";
        QTest::newRow("skipped by summer time") << "02:30:00 31.03.2024";
        QTest::newRow("repeated in autumn") << "02:30:00 27.10.2024";
        QTest::newRow("year 0999") << "10:00:00 01.01.0999";
        QTest::newRow("slashes") << "10:00:00 01/01/2024";
        QTest::newRow("letters") << "1a:00:00 01.01.2024";
        QTest::newRow("one digit hour") << "9:00:00 01.01.2024";
        QTest::newRow("trailing space") << "10:00:00 01.01.2024 ";
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("١٠:00:00 01.01.2024");
        QTest::newRow("empty") << QString();
    }

    void read()
    {
        QFETCH(QString, text);
        const QDateTime expected = byLocale(text);
        const QDateTime time = DatabaseWrapper::parseTime(text);
        QCOMPARE(time.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(time, expected);
            QCOMPARE(time.timeSpec(), expected.timeSpec());
        }
    }

    void write_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::newRow("ordinary") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 500));
        QTest::newRow("UTC") << QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59), Qt::UTC);
        QTest::newRow("year 999") << QDateTime(QDate(999, 1, 1), QTime(1, 2, 3));
        QTest::newRow("year 10000") << QDateTime(QDate(10000, 1, 1), QTime(1, 2, 3));
        QTest::newRow("invalid") << QDateTime();
    }

    void write()
    {
        QFETCH(QDateTime, time);
        QCOMPARE(DatabaseWrapper::timeText(time), byLocale(time));
    }

    void twoYearsBothWays()
    {
        // Every 37 min 17 s over two years, across both changes of each year.
        const QDateTime from(QDate(2023, 1, 1), QTime(0, 0, 1));
        int compared = 0;
        for (qint64 s = 0; s < 2 * 366 * 86400LL; s += 37 * 60 + 17) {
            const QDateTime time = from.addSecs(s);
            const QString text = DatabaseWrapper::timeText(time);
            QCOMPARE(text, byLocale(time));
            QCOMPARE(DatabaseWrapper::parseTime(text), byLocale(text));
            ++compared;
        }
        QVERIFY(compared > 28000);
    }
};

QTEST_GUILESS_MAIN(TestJournalTime)
#include "tst_journaltime.moc"
