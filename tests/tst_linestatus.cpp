// What a central unit reports about its lines and its bus, read without a window: the
// measured values of the eight alarm lines, volts to whole millivolts, the faults of
// consoles and extension units in the answer to BINSTATUS; and the acceptance record's
// four values stored together in a real parameter database, or not at all.

#include "testutil.h"

#include "journal/databaseparams.h"
#include "link/binstatus.h"
#include "link/linevalues.h"

#include <QtTest>

namespace {

struct ValuesRow {
    const char *name;
    const char *answer;
    bool valid;
    QString measured; // per line: the value in volts, or "-" for a failed one
};

struct MillivoltsRow {
    const char *name;
    double volts;
    qint64 millivolts;
};

struct BinRow {
    const char *name;
    QString answer;
    bool valid;
    bool extension; // false: console
    int index; // from 0
    int fault; // 1, 0, -1 unknown
};

QString bytesWithBit(int size, int bit)
{
    QByteArray bytes(size, '\0');
    if (bit >= 0)
        bytes[bit / 8] = char(1 << (bit % 8));
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

Q_DECLARE_METATYPE(ValuesRow)
Q_DECLARE_METATYPE(MillivoltsRow)
Q_DECLARE_METATYPE(BinRow)

class TestLineStatus : public QObject {
    Q_OBJECT

private slots:
    void lineValues_data()
    {
        TestUtil::addRows<ValuesRow>({
            {"eight values", "24000,24050,1500,0,120,30000,-5,12345", true,
             "24.000 24.050 1.500 0.000 0.120 30.000 -0.005 12.345"},
            {"blanks round fields", " 1 , 2,3,4,5,6,7,8 ", true,
             "0.001 0.002 0.003 0.004 0.005 0.006 0.007 0.008"},
            {"seven values", "24000,24050,1500,0,120,30000,99999", false, ""},
            {"nine values", "1,2,3,4,5,6,7,8,9", false, ""},
            {"a field not a number", "24000,x,1500,,120,3.5,99999,12345", true,
             "24.000 - 1.500 - 0.120 - 99.999 12.345"},
            {"error answer", "ERROR", false, ""},
            {"two lines", "1,2,3,4\n5,6,7,8", false, ""},
            {"empty", "", false, ""},
        });
    }

    void lineValues()
    {
        QFETCH(ValuesRow, row);
        const LineValues values = LineValues::parse(QString::fromUtf8(row.answer));
        QCOMPARE(values.valid, row.valid);
        if (!row.valid)
            return;
        QStringList shown;
        for (int n = 0; n < LineValues::lineCount; ++n)
            shown << (values.measured[size_t(n)] ? LineValues::voltsText(values.values[size_t(n)])
                                                 : QStringLiteral("-"));
        QCOMPARE(shown.join(' '), row.measured);
    }

    void millivolts_data()
    {
        TestUtil::addRows<MillivoltsRow>({
            {"24.0005 rounds up", 24.0005, 24001},
            // 0.5005 is 0.50049999... in binary: the plain formula gives 500.
            {"0.5005 rounds up", 0.5005, 501},
            {"1.5", 1.5, 1500},
            {"12.345", 12.345, 12345},
            {"below a half", 0.0004, 0},
            {"a half", 0.0005, 1},
            {"99.9995", 99.9995, 100000},
            {"zero", 0.0, 0},
        });
    }

    // The nearest whole millivolt, halves upwards, as the decimal value was meant.
    void millivolts()
    {
        QFETCH(MillivoltsRow, row);
        QCOMPARE(LineValues::millivolts(row.volts), row.millivolts);
    }

    void binStatus_data()
    {
        TestUtil::addRows<BinRow>({
            // Console 9 (k = 8) has bit 128; console 1 (k = 0) bit 120, in the same byte
            // position of another byte: neither shows the other's fault.
            {"console 9 faulty", bytesWithBit(21, 128), true, false, 8, 1},
            {"console 1 not faulty with console 9", bytesWithBit(21, 128), true, false, 0, 0},
            {"console 1 faulty", bytesWithBit(21, 120), true, false, 0, 1},
            {"console 9 not faulty with console 1", bytesWithBit(21, 120), true, false, 8, 0},
            {"console 32 faulty", bytesWithBit(20, 151), true, false, 31, 1},
            {"console 32 in a short answer", bytesWithBit(18, -1), true, false, 31, -1},
            {"extension unit 9 faulty", bytesWithBit(21, 160), true, true, 8, 1},
            {"extension unit 1 faulty", bytesWithBit(21, 152), true, true, 0, 1},
            {"extension unit 2 not with unit 1", bytesWithBit(21, 152), true, true, 1, 0},
            {"extension unit 9 in a short answer", bytesWithBit(20, 151), true, true, 8, -1},
            {"extension unit 10", bytesWithBit(21, 161), true, true, 9, -1},
            {"upper case", bytesWithBit(21, 128).toUpper(), true, false, 8, 1},
            {"odd digits", QStringLiteral("ABC"), false, false, 0, -1},
            {"not hexadecimal", QStringLiteral("ERROR TIMEOUT"), false, false, 0, -1},
        });
    }

    void binStatus()
    {
        QFETCH(BinRow, row);
        const BinStatus status = BinStatus::parse(row.answer);
        QCOMPARE(status.valid, row.valid);
        QCOMPARE(row.extension ? status.extensionFault(row.index) : status.consoleFault(row.index),
                 row.fault);
    }

    // The four values of a line's acceptance go in together; when one insert fails, none
    // is kept and the caller learns it.
    void insertParams()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("params.sqlite"));
        DatabaseParams db(path);
        const QDateTime time(QDate(2024, 3, 1), QTime(10, 15, 0));
        const QList<QPair<QString, QString>> values = {
            {"desc_LoCtrlEnable[0]", "вкл"},
            {"desc_LoCalibValue[0]", "12,000"},
            {"desc_LoCtrlDelta[0]", "1.500"},
            {"desc_LoCalibTime[0]", "10:15:00 01.03.2024"},
        };
        QVERIFY(db.insertParams(7, values, time));
        QCOMPARE(TestUtil::sqlite3(path,
                                   "SELECT group_concat(line, ';') FROM (SELECT "
                                   "param_name || '=' || param_value || '@' || param_time "
                                   "AS line FROM dev_params WHERE device_unique_id = 7 "
                                   "ORDER BY record_id);"),
                 QStringLiteral("desc_LoCtrlEnable[0]=вкл@10:15:00 01.03.2024;"
                                "desc_LoCalibValue[0]=12,000@10:15:00 01.03.2024;"
                                "desc_LoCtrlDelta[0]=1.500@10:15:00 01.03.2024;"
                                "desc_LoCalibTime[0]=10:15:00 01.03.2024@10:15:00 01.03.2024"));
        TestUtil::sqlite3(path,
                          "CREATE TRIGGER refuse BEFORE INSERT ON dev_params WHEN "
                          "NEW.param_name = 'desc_LoCalibTime[0]' BEGIN SELECT "
                          "RAISE(ABORT, 'refused'); END;");
        QVERIFY(!db.insertParams(8, values, time));
        QCOMPARE(TestUtil::sqlite3(path,
                                   "SELECT count(*) FROM dev_params WHERE "
                                   "device_unique_id = 8;"),
                 QStringLiteral("0"));
        // The connection is usable afterwards.
        QVERIFY(db.insertParams(8, values.mid(0, 3), time));
        QString value;
        QDateTime stored;
        QVERIFY(db.lastParam(8, QStringLiteral("desc_LoCtrlDelta[0]"), value, stored));
        QCOMPARE(value, QStringLiteral("1.500"));
    }
};

QTEST_MAIN(TestLineStatus)
#include "tst_linestatus.moc"
