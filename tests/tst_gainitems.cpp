#include "link/gainitems.h"
#include "project/devicetype.h"
#include "tools/devsim/simdescriptors.h"
#include "tools/devsim/simdevice.h"

#include <QtTest>

class TestGainItems : public QObject {
    Q_OBJECT

private slots:
    void ampAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("index");
        QTest::newRow("lowest") << "-103.5" << 0;
        QTest::newRow("0.0 dB") << "0.0" << 207;
        QTest::newRow("highest, no decimals") << "24" << 255;
        QTest::newRow("blanks") << " 12.5 " << 232;
        QTest::newRow("between items") << "0.25" << -1;
        QTest::newRow("above the list") << "24.5" << -1;
        QTest::newRow("error") << "ERROR" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("not a number") << "nan" << -1;
        QTest::newRow("huge") << "1e300" << -1;
    }

    void ampAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(int, index);
        QCOMPARE(GainItems::ampNomPowerIndex(answer), index);
    }

    void speakerAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("index");
        QTest::newRow("off") << "откл" << 94;
        QTest::newRow("highest") << "3" << 0;
        QTest::newRow("-6") << "-6" << 9;
        QTest::newRow("lowest") << "-90" << 93;
        QTest::newRow("above the list") << "4" << -1;
        QTest::newRow("not whole") << "-6.5" << -1;
        QTest::newRow("error") << "ERROR" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void speakerAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(int, index);
        QCOMPARE(GainItems::speakerNomPowerIndex(answer), index);
    }

    // The windows write a gain as the item's index and read it back in dB: every item of
    // both lists comes back as itself from the simulated console, and shows its value.
    void writtenIndexReadsBack()
    {
        SimDevice console(DeviceType::IpPult, 1, QHostAddress(QStringLiteral("127.0.0.2")));
        SimDescriptors::populate(&console, 23);
        const QVector<GainItem> amp = GainItems::ampNomPower();
        const QVector<GainItem> speaker = GainItems::speakerNomPower();
        for (int i = 0; i < amp.size(); ++i) {
            QString value;
            QVERIFY(SimDescriptors::write(&console, "AmpNomPower", QString::number(i)));
            QVERIFY(SimDescriptors::read(&console, "AmpNomPower", &value));
            QCOMPARE(GainItems::ampNomPowerIndex(value), i);
            QCOMPARE(amp.at(i).text, value + " дБ");
        }
        for (int i = 0; i < speaker.size(); ++i) {
            QString value;
            QVERIFY(SimDescriptors::write(&console, "SpeakerNomPower", QString::number(i)));
            QVERIFY(SimDescriptors::read(&console, "SpeakerNomPower", &value));
            QCOMPARE(GainItems::speakerNomPowerIndex(value), i);
            QCOMPARE(speaker.at(i).text, value == "откл" ? value : value + ".0 дБ");
        }
    }
};

QTEST_GUILESS_MAIN(TestGainItems)
#include "tst_gainitems.moc"
