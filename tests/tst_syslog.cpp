#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/syslogmessage.h"
#include "monitor/syslogforwarder.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <ctime>

namespace {

// A syslog message read as a collector reads it (RFC 5424): header fields, structured
// data elements with their parameters (escapes undone), and the message text.
struct Parsed {
    bool ok = false;
    int priority = -1;
    QStringList header; // TIMESTAMP HOSTNAME APP-NAME PROCID MSGID
    QMap<QString, QMap<QString, QString>> data;
    QByteArray message;
};

Parsed parse(const QByteArray &datagram)
{
    Parsed p;
    const QRegularExpression head(
        QStringLiteral("^<(\\d{1,3})>1 (\\S+) (\\S+) (\\S+) (\\S+) (\\S+) "));
    const QString text = QString::fromUtf8(datagram);
    const QRegularExpressionMatch m = head.match(text);
    if (!m.hasMatch())
        return p;
    p.priority = m.captured(1).toInt();
    for (int i = 2; i <= 6; ++i)
        p.header << m.captured(i);
    int at = m.capturedEnd();
    if (text.mid(at, 1) == QLatin1String("-")) {
        ++at;
    } else {
        while (text.mid(at, 1) == QLatin1String("[")) {
            const int space = text.indexOf(QLatin1Char(' '), at);
            const int close = text.indexOf(QLatin1Char(']'), at);
            const int nameEnd = (space >= 0 && space < close) ? space : close;
            const QString id = text.mid(at + 1, nameEnd - at - 1);
            at = nameEnd;
            QMap<QString, QString> params;
            while (text.at(at) == QLatin1Char(' ')) {
                const int eq = text.indexOf(QLatin1Char('='), at);
                const QString name = text.mid(at + 1, eq - at - 1);
                if (text.at(eq + 1) != QLatin1Char('"'))
                    return p;
                QString value;
                int i = eq + 2;
                for (; i < text.size() && text.at(i) != QLatin1Char('"'); ++i) {
                    if (text.at(i) == QLatin1Char('\\'))
                        ++i;
                    value += text.at(i);
                }
                params.insert(name, value);
                at = i + 1;
            }
            if (text.at(at) != QLatin1Char(']'))
                return p;
            p.data.insert(id, params);
            ++at;
        }
    }
    if (text.mid(at, 1) != QLatin1String(" "))
        return p;
    p.message = text.mid(at + 1).toUtf8();
    p.ok = true;
    return p;
}

EventRecord record(int code, int deviceId = 7, const QString &time = "01:02:03 07.12.2026")
{
    EventRecord r;
    r.recordId = 42;
    r.time = time;
    r.deviceId = deviceId;
    r.code = code;
    return r;
}

const QByteArray bom("\xEF\xBB\xBF");

} // namespace

class TestSyslog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Times are composed in a zone with an offset and no summer time.
        qputenv("TZ", "Asia/Yekaterinburg");
        tzset();
    }

    void message_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("known");
        QTest::addColumn<int>("priority");
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("text");
        // local0 is facility 16: 128 + severity.
        QTest::newRow("lost") << 1 << true << 131 << "CONNECTION"
                              << "Нет подключения";
        QTest::newRow("restored") << int(EventCode::ConnectionRestored) << true << 133
                                  << "CONNECTION"
                                  << "Подключение установлено";
        QTest::newRow("amplifier") << 2 << true << 131 << "FAULT"
                                   << "Неисправность УМ";
        QTest::newRow("mains cleared") << int(EventCode::Cleared + 4) << true << 133 << "CLEAR"
                                       << "Питание 220В появилось";
        QTest::newRow("line open") << 17 << true << 131 << "FAULT"
                                   << "Обрыв ЛО2";
        QTest::newRow("line normal") << 33 << true << 133 << "CLEAR"
                                     << "Норма ЛО2";
        QTest::newRow("acknowledged") << 255 << false << 134 << "ACK"
                                      << "Подтверждение просмотра";
        QTest::newRow("unknown code") << 99 << true << 133 << "EVENT"
                                      << "Неизвестно";
        QTest::newRow("device gone") << 2 << false << 131 << "FAULT"
                                     << "Неисправность УМ";
    }

    void message()
    {
        QFETCH(int, code);
        QFETCH(bool, known);
        QFETCH(int, priority);
        QFETCH(QString, messageId);
        QFETCH(QString, text);
        SyslogMessage::Device device;
        device.known = known;
        device.serial = 4201;
        device.typeKey = "norda4200";
        device.title = "Блок NORDA-4200 (№4201)";
        device.ip = "192.168.1.20";
        device.rs485 = 5;
        const QByteArray datagram =
            SyslogMessage::compose(record(code), device, "duty-pc", "norda-console", 812);
        const Parsed p = parse(datagram);
        QVERIFY2(p.ok, datagram.constData());
        QCOMPARE(p.priority, priority);
        QCOMPARE(p.header,
                 QStringList(
                     {"2026-12-07T01:02:03+05:00", "duty-pc", "norda-console", "812", messageId}));
        QCOMPARE(p.data.value("event@32473"),
                 (QMap<QString, QString> {{"record", "42"}, {"code", QString::number(code)}}));
        if (code == EventCode::Acknowledged) {
            QVERIFY(!p.data.contains("device@32473"));
        } else if (known) {
            QCOMPARE(p.data.value("device@32473"),
                     (QMap<QString, QString> {{"id", "7"},
                                              {"serial", "4201"},
                                              {"type", "norda4200"},
                                              {"ip", "192.168.1.20"},
                                              {"rs485", "5"}}));
        } else {
            QCOMPARE(p.data.value("device@32473"), (QMap<QString, QString> {{"id", "7"}}));
        }
        QVERIFY(p.message.startsWith(bom));
        QCOMPARE(QString::fromUtf8(p.message.mid(3)),
                 known && code != EventCode::Acknowledged ? text + " - " + device.title : text);
    }

    // Text from a project file cannot break out of its parameter or the header, and a
    // long text is cut on a character boundary within what every collector takes.
    void awkwardText()
    {
        SyslogMessage::Device device;
        device.known = true;
        device.typeKey = "horn";
        device.ip = "1.2.3.4\"] [x@1 y=\"z\\";
        device.title = QString("Зал\r\n<13>1 - fake") + QString(3000, QChar(0x0416));
        const QByteArray datagram =
            SyslogMessage::compose(record(2, 7, "not a time"), device, "my host\n", "", 1);
        QVERIFY(datagram.size() <= SyslogMessage::maxBytes);
        QVERIFY(!datagram.contains('\n') && !datagram.contains('\r'));
        const Parsed p = parse(datagram);
        QVERIFY2(p.ok, datagram.constData());
        QCOMPARE(p.header.mid(0, 3), QStringList({"-", "myhost", "-"}));
        QCOMPARE(p.data.size(), 2);
        QCOMPARE(p.data.value("device@32473").value("ip"), device.ip);
        const QString message = QString::fromUtf8(p.message.mid(3));
        QVERIFY(!message.contains(QChar::ReplacementCharacter));
        QVERIFY(message.startsWith("Неисправность УМ - Зал  <13>1 - fake"));
    }

    void targets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("address and port") << "127.0.0.1:5514" << true << "127.0.0.1" << 5514;
        QTest::newRow("default port") << "logs.example" << true << "logs.example" << 514;
        QTest::newRow("leading zeros") << "010.0.0.1:514" << true << "10.0.0.1" << 514;
        QTest::newRow("IPv6") << "[::1]:6514" << true << "::1" << 6514;
        QTest::newRow("short form") << "127.1:514" << false << "" << 0;
        QTest::newRow("octal") << "0x7f.0.0.1" << false << "" << 0;
        QTest::newRow("no host") << ":514" << false << "" << 0;
        QTest::newRow("port 0") << "host:0" << false << "" << 0;
        QTest::newRow("port too big") << "host:65536" << false << "" << 0;
        QTest::newRow("port not a number") << "host:syslog" << false << "" << 0;
        QTest::newRow("bare IPv6") << "::1" << false << "" << 0;
        QTest::newRow("space") << "log host:514" << false << "" << 0;
        QTest::newRow("unclosed bracket") << "[::1:514" << false << "" << 0;
    }

    void targets()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString parsedHost;
        quint16 parsedPort = 0;
        QString error;
        QCOMPARE(SyslogForwarder::parseTarget(text, &parsedHost, &parsedPort, &error), ok);
        if (ok) {
            QCOMPARE(parsedHost, host);
            QCOMPARE(int(parsedPort), port);
        } else {
            QVERIFY(!error.isEmpty());
        }
    }

    // Recorded events reach a collector, each once, with the record numbers of the journal.
    void eventsReachTheCollector()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ProjectModel project(ProjectModel::Journals::None);
        auto *unit =
            new ProjectDevice(3, 4201, "Диспетчерская", false, 0, true, "127.0.10.2", -1, &project);
        auto *console = new ProjectDevice(6, 4401, "Пост", true, 5, false, QString(), 8, &project);
        project.nodes << unit << console;
        QVERIFY(project.assignMissingIds());
        DatabaseLog log(dir.filePath("log.sqlite"));
        QVERIFY(log.isUsable());

        QUdpSocket collector;
        QVERIFY(collector.bind(QHostAddress::LocalHost, 0));
        SyslogForwarder forwarder;
        QVERIFY(forwarder.setTarget("127.0.0.1:" + QString::number(collector.localPort())));
        forwarder.setProject(&project);
        connect(&log, &DatabaseLog::eventInserted, &forwarder, &SyslogForwarder::forward);

        const QDateTime now = QDateTime::currentDateTime();
        {
            DatabaseLog::Transaction transaction(&log);
            QVERIFY(log.insertEvent(unit->id_obj, QString(), 17, now));
            QVERIFY(log.insertEvent(console->id_obj, QString(), EventCode::ConnectionLost, now));
            QVERIFY(log.insertEvent(-1, QString(), EventCode::Acknowledged, now));
        }
        QVector<Parsed> received;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (collector.hasPendingDatagrams())
                    received << parse(collector.receiveDatagram().data());
                return received.size() >= 3;
            }(),
            5000);
        const QVector<EventRecord> journal = log.events(0, 10, false);
        QCOMPARE(journal.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const EventRecord &stored = journal.at(2 - i);
            QVERIFY(received.at(i).ok);
            QCOMPARE(received.at(i).data.value("event@32473").value("record"),
                     QString::number(stored.recordId));
        }
        QCOMPARE(received.at(0).data.value("device@32473").value("ip"), "127.0.10.2");
        QCOMPARE(received.at(0).data.value("device@32473").value("type"), "norda4200");
        QCOMPARE(received.at(1).data.value("device@32473").value("rs485"), "5");
        QCOMPARE(received.at(1).data.value("device@32473").value("serial"), "4401");
        QCOMPARE(received.at(2).header.at(4), "ACK");
        QCOMPARE(forwarder.sentCount(), quint64(3));
    }

    // Nobody listening, or a name that does not resolve: the journal records every event.
    void collectorAwayLosesNothing_data()
    {
        QTest::addColumn<bool>("byName");
        QTest::newRow("port closed") << false;
        QTest::newRow("name not resolved") << true;
    }

    void collectorAwayLosesNothing()
    {
        QFETCH(bool, byName);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        DatabaseLog log(dir.filePath("log.sqlite"));
        quint16 closedPort = 0;
        {
            QUdpSocket probe;
            QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
            closedPort = probe.localPort();
        }
        SyslogForwarder forwarder;
        QVERIFY(forwarder.setTarget(byName ? QStringLiteral("no-such-collector.invalid:514")
                                           : "127.0.0.1:" + QString::number(closedPort)));
        connect(&log, &DatabaseLog::eventInserted, &forwarder, &SyslogForwarder::forward);
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 300; ++i) {
            DatabaseLog::Transaction transaction(&log);
            QVERIFY(log.insertEvent(i % 5 + 1, QString(), 2 + (i % 2) * EventCode::Cleared, now));
        }
        QCOMPARE(inserted.size(), 300);
        QCOMPARE(log.eventCount(5), 300);
        QCOMPARE(log.pendingEvents(), 0);
        if (!byName)
            QCOMPARE(forwarder.sentCount() + forwarder.droppedCount(), quint64(300));
    }
};

QTEST_GUILESS_MAIN(TestSyslog)
#include "tst_syslog.moc"
