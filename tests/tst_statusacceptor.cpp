#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "monitor/statusacceptor.h"
#include "project/devicetype.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "project/statusdecoder.h"
#include "testutil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <malloc.h>

namespace {

const QDateTime base(QDate(2024, 3, 5), QTime(9, 0, 0));

QByteArray body(const QString &key, int serial, const QJsonObject &extra = {})
{
    QJsonObject object = extra;
    object.insert("device", key);
    object.insert("serial", serial);
    object.insert("version", "2.7");
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

struct RouteRow {
    const char *name;
    bool monitoring;
    const char *host, *key;
    int serial, expected;
};

} // namespace

Q_DECLARE_METATYPE(RouteRow)

class TestStatusAcceptor : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
        m_model = new ProjectModel;
        auto add = [this](int type, int serial, bool ip, const char *address) {
            auto *device = new ProjectDevice(type, serial, QString(), false, 0, ip,
                                             QLatin1String(address), -1);
            m_model->addDevice(nullptr, device);
            return device;
        };
        m_horn = add(DeviceType::Horn, 1001, true, "127.0.0.2");
        m_unit = add(DeviceType::Tovik2, 2002, true, "127.0.0.3");
        m_dark = add(DeviceType::Horn, 3003, false, "127.0.0.4");
        m_pult = add(DeviceType::IpPult, 4004, true, "127.0.0.5");
    }

    void cleanup()
    {
        delete m_model;
        m_dir.reset();
    }

    void routing_data()
    {
        const RouteRow rows[] = {
            // name, monitoring, host, key, serial, expected: serial of the device that takes it
            {"address, monitoring", true, "127.0.0.3", "tovik2", 2002, 2002},
            {"address, configuration", false, "127.0.0.3", "tovik2", 2002, 2002},
            {"address wins over serial", false, "127.0.0.2", "horn", 2002, 1001},
            {"serial, configuration", false, "127.0.0.99", "tovik2", 2002, 2002},
            {"serial, monitoring", true, "127.0.0.99", "tovik2", 2002, 0},
            {"Ethernet off, monitoring", true, "127.0.0.4", "horn", 3003, 0},
            {"Ethernet off, by serial", false, "127.0.0.4", "horn", 3003, 3003},
            {"unknown serial", false, "127.0.0.99", "horn", 9999, 0},
        };
        TestUtil::addRows(rows);
    }

    void routing()
    {
        QFETCH(RouteRow, row);
        ProjectDevice *target = row.expected ? m_model->findDeviceBySerial(row.expected) : nullptr;
        QSignalSpy changed(target ? target : m_horn, &ProjectDevice::statusChanged);
        ProjectDevice *taken = StatusAcceptor::accept(
            m_model, 200, row.host, body(row.key, row.serial), row.monitoring, base);
        QCOMPARE(taken, target);
        if (target) {
            QCOMPARE(changed.count(), 1);
            QVERIFY(target->netFound);
            QCOMPARE(target->lastSeen, base);
        }
        for (ProjectDevice *device : m_model->allDevices()) {
            if (device != target)
                QVERIFY(!device->netFound);
        }
    }

    void wrongTypeKeyIsIgnoredCompletely()
    {
        for (bool monitoring : {true, false}) {
            QSignalSpy changed(m_unit, &ProjectDevice::statusChanged);
            const QByteArray reply =
                body("horn", 7777, QJsonObject {{"errors", QJsonArray {"tamper"}}});
            QCOMPARE(StatusAcceptor::accept(m_model, 200, "127.0.0.3", reply, monitoring, base),
                     nullptr);
            QCOMPARE(changed.count(), 0);
            QVERIFY(!m_unit->netFound);
            QCOMPARE(m_unit->serial, 2002);
            QVERIFY(m_unit->status.isEmpty());
            QVERIFY(m_unit->faults.isEmpty());
            QCOMPARE(m_model->logDb->eventCount(5), 0);
        }
        // Type keys are compared as they are.
        QCOMPARE(
            StatusAcceptor::accept(m_model, 200, "127.0.0.3", body("TOVIK2", 2002), true, base),
            nullptr);
    }

    void unusableReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray good = body("horn", 1001);
        QTest::newRow("404") << 404 << good;
        QTest::newRow("no status") << 0 << good;
        QTest::newRow("empty body") << 200 << QByteArray();
        QTest::newRow("not JSON") << 200 << QByteArray("<html>busy</html>");
        QTest::newRow("JSON array") << 200 << QByteArray("[{\"device\":\"horn\"}]");
        QTest::newRow("truncated") << 200 << good.left(good.size() - 3);
        QTest::newRow("no device key") << 200 << QByteArray("{\"serial\":1001}");
        QByteArray large = good;
        large.insert(1, "\"pad\":\"" + QByteArray(StatusAcceptor::maxBodySize, 'x') + "\",");
        QTest::newRow("over the size bound") << 200 << large;
    }

    void unusableReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QSignalSpy changed(m_horn, &ProjectDevice::statusChanged);
        QCOMPARE(StatusAcceptor::accept(m_model, status, "127.0.0.2", reply, true, base), nullptr);
        QCOMPARE(changed.count(), 0);
        QVERIFY(!m_horn->netFound);
        QCOMPARE(m_model->logDb->eventCount(5), 0);
    }

    void serialNumber_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<quint32>("expected");
        auto row = [](const char *name, bool monitoring, const char *serial, quint32 expected) {
            QTest::newRow(name) << monitoring << QByteArray(serial) << expected;
        };
        row("another", false, "1234", 1234);
        row("largest", false, "4294967295", 4294967295u);
        row("above 2^31", false, "2147483648", 2147483648u);
        row("largest, monitoring", true, "4294967295", 4294967295u);
        // Anything else keeps the project's serial number.
        row("missing", false, nullptr, 1001);
        row("missing, monitoring", true, nullptr, 1001);
        row("zero", false, "0", 1001);
        row("negative", false, "-5", 1001);
        row("above 32 bits", false, "4294967296", 1001);
        row("fraction", false, "12.5", 1001);
        row("text", false, "\"1234\"", 1001);
        row("huge", false, "1e300", 1001);
    }

    void serialNumber()
    {
        QFETCH(bool, monitoring);
        QFETCH(QByteArray, serial);
        QFETCH(quint32, expected);
        QByteArray reply = R"({"device":"horn","version":"2.7")";
        if (!serial.isNull())
            reply += R"(,"serial":)" + serial;
        reply += '}';
        QCOMPARE(StatusAcceptor::accept(m_model, 200, "127.0.0.2", reply, monitoring, base),
                 m_horn);
        QCOMPARE(m_horn->serial, expected);
        QCOMPARE(m_horn->firmwareVersion, "2.7");

        // What the project then saves.
        const QString path = m_dir->filePath("serial.mpj");
        QCOMPARE(m_model->save(path), 0);
        ProjectModel reopened(ProjectModel::Journals::None);
        QCOMPARE(reopened.load(path), 0);
        QCOMPARE(reopened.allDevices().first()->serial, expected);
    }

    void largeSerialRoutesInTheConfigurator()
    {
        m_unit->serial = 4294967295u;
        QCOMPARE(
            StatusAcceptor::accept(m_model, 200, "127.0.0.99", body("tovik2", -1), false, base),
            nullptr);
        QByteArray reply = R"({"device":"tovik2","serial":4294967295})";
        QCOMPARE(StatusAcceptor::accept(m_model, 200, "127.0.0.99", reply, false, base), m_unit);
        QCOMPARE(m_unit->serial, 4294967295u);
    }

    void repeatedKeysLeakNothing()
    {
        // Qt's own parser loses the first value of a repeated key when it is an array or an
        // object; a device answering that way once a second must not eat the memory.
        ProjectModel project(ProjectModel::Journals::None);
        auto *horn =
            new ProjectDevice(DeviceType::Horn, 1001, QString(), false, 0, true, "127.0.0.2", -1);
        project.addDevice(nullptr, horn);
        const QByteArray reply = R"({"device":"horn","serial":1001,"errors":["tamper"],)"
                                 R"("errors":[],"binstate":{"a":[1]},"binstate":"00"})";
        auto accept = [&] {
            return StatusAcceptor::accept(&project, 200, "127.0.0.2", reply, false, base);
        };
        for (int i = 0; i < 100; ++i)
            QVERIFY(accept());
        const size_t before = mallinfo2().uordblks;
        for (int i = 0; i < 5000; ++i)
            accept();
        const size_t after = mallinfo2().uordblks;
        // The last value of each key counts.
        QVERIFY(horn->faults.isEmpty());
        QCOMPARE(horn->status.value("binstate").toString(), "00");
        QVERIFY2(after < before + 64 * 1024,
                 qPrintable(QStringLiteral("%1 bytes more in use after 5000 answers")
                                .arg(qint64(after) - qint64(before))));
    }

    void keysCount_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<QJsonValue>("keys");
        QTest::addColumn<int>("buttons");
        QTest::newRow("configuration") << false << QJsonValue(12) << 12;
        QTest::newRow("monitoring") << true << QJsonValue(12) << 8;
        QTest::newRow("missing") << false << QJsonValue(QJsonValue::Undefined) << 8;
        QTest::newRow("not a number") << false << QJsonValue("12") << 8;
        QTest::newRow("most buttons") << false << QJsonValue(128) << 128;
        QTest::newRow("more than any console") << false << QJsonValue(129) << 8;
        QTest::newRow("absurd") << false << QJsonValue(1000000000) << 8;
    }

    void keysCount()
    {
        QFETCH(bool, monitoring);
        QFETCH(QJsonValue, keys);
        QFETCH(int, buttons);
        QJsonObject extra;
        if (!keys.isUndefined())
            extra.insert("keys_count", keys);
        QCOMPARE(m_pult->buttonCount(), 8);
        QCOMPARE(StatusAcceptor::accept(m_model, 200, "127.0.0.5", body("ip_pult", 4004, extra),
                                        monitoring, base),
                 m_pult);
        QCOMPARE(m_pult->buttonCount(), buttons);
    }

    void restoredConnection_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("monitoring") << true << false << QList<int> {1, 0x40000001};
        QTest::newRow("configuration") << false << false << QList<int> {1};
        QTest::newRow("loss acknowledged") << true << true << QList<int> {1};
    }

    void restoredConnection()
    {
        QFETCH(bool, monitoring);
        QFETCH(bool, acknowledged);
        QFETCH(QList<int>, codes);
        DatabaseLog *log = m_model->logDb;
        QVERIFY(log->insertEvent(m_horn->id_obj, QString(), EventCode::ConnectionLost, base));
        if (acknowledged)
            QVERIFY(log->markAllSeen());
        for (int i = 1; i <= 3; ++i)
            QVERIFY(StatusAcceptor::accept(m_model, 200, "127.0.0.2", body("horn", 1001),
                                           monitoring, base.addSecs(i)));
        QCOMPARE(TestUtil::eventCodes(log, m_horn->id_obj), codes);
    }

    void repeatedAnswers_data()
    {
        // Answers of the horn at 127.0.0.2, in order ("b" with a battery fault); between two
        // answers the journal may be acknowledged and the status cleared (a fault still there
        // is recorded anew) or set from the journal (a monitor taking over its shard).
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("between");
        QTest::addColumn<QList<int>>("codes");
        const QStringList change {"a", "a", "b", "a", "b", "b"};
        const int battery = EventCode::Battery;
        const int cleared = EventCode::Battery + EventCode::Cleared;
        QTest::newRow("steady") << QStringList {"a", "a", "a"} << QString() << QList<int> {};
        QTest::newRow("fault comes and goes")
            << change << QString() << QList<int> {battery, cleared, battery};
        QTest::newRow("status cleared in between")
            << change << QStringLiteral("clear") << QList<int> {battery, battery, battery};
        QTest::newRow("faults taken from the journal")
            << change << QStringLiteral("recorded") << QList<int> {battery, cleared, battery};
    }

    void repeatedAnswers()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, between);
        QFETCH(QList<int>, codes);
        const QHash<QString, QByteArray> bodies {
            {"a", body("horn", 1001)},
            {"b", body("horn", 1001, QJsonObject {{"errors", QJsonArray {"accum error"}}})}};
        QStringList expectedJournal;
        for (int i = 0; i < answers.size(); ++i) {
            const QByteArray reply = bodies.value(answers.at(i));
            QVERIFY(StatusAcceptor::accept(m_model, 200, "127.0.0.2", reply, true, base.addSecs(i),
                                           m_horn) == m_horn);
            // Whatever the device answered before, it holds what this answer says.
            const QJsonObject fresh = QJsonDocument::fromJson(reply).object();
            QCOMPARE(m_horn->status, fresh);
            QCOMPARE(m_horn->faults.size(), answers.at(i) == "b" ? 1 : 0);
            expectedJournal << QString::fromUtf8(
                QJsonDocument(fresh).toJson(QJsonDocument::Compact));
            if (between == "clear") {
                QVERIFY(m_model->logDb->markAllSeen());
                m_horn->clearStatus();
            } else if (between == "recorded")
                StatusDecoder::takeRecordedFaults(m_horn);
        }
        QList<int> recorded = TestUtil::eventCodes(m_model->logDb, m_horn->id_obj);
        recorded.removeAll(EventCode::LineNormal);
        QCOMPARE(recorded, codes);
        // Every answer is in the status journal as its document's text, read by another program.
        const QString journal = TestUtil::sqlite3(
            m_model->logDb->fileName(),
            QStringLiteral("SELECT status_json FROM status_log WHERE device_unique_id=%1 "
                           "ORDER BY record_id;")
                .arg(m_horn->id_obj));
        QCOMPARE(journal.split('\n'), expectedJournal);
    }

    void statusJournalInOrder_data()
    {
        // Documents written together: one at a time, and in statements of many rows with
        // what is left over.
        QTest::addColumn<int>("documents");
        for (const int count : {1, 31, 32, 33, 70})
            QTest::addRow("%d", count) << count;
    }

    void statusJournalInOrder()
    {
        QFETCH(int, documents);
        DatabaseLog *log = m_model->logDb;
        QStringList expected;
        {
            DatabaseLog::Transaction batch(log);
            for (int i = 0; i < documents; ++i) {
                const QString text = QStringLiteral("{\"n\":%1,\"q\":\"it's\"}").arg(i);
                QVERIFY(log->insertStatus(100 + i % 7, text, base.addSecs(i)));
                expected << QStringLiteral("%1|%2|%3")
                                .arg(100 + i % 7)
                                .arg(text, DatabaseLog::timeText(base.addSecs(i)));
            }
            QCOMPARE(log->pendingStatuses(), documents);
        }
        QCOMPARE(log->pendingStatuses(), 0);
        const QString rows =
            TestUtil::sqlite3(log->fileName(),
                              "SELECT device_unique_id, status_json, param_time FROM status_log "
                              "WHERE device_unique_id>=100 ORDER BY record_id;");
        QCOMPARE(rows.split('\n'), expected);
    }

private:
    ProjectModel *m_model = nullptr;
    ProjectDevice *m_horn = nullptr; // horn 1001 at 127.0.0.2
    ProjectDevice *m_unit = nullptr; // tovik2 2002 at 127.0.0.3
    ProjectDevice *m_dark = nullptr; // horn 3003 at 127.0.0.4, Ethernet off
    ProjectDevice *m_pult = nullptr; // ip_pult 4004 at 127.0.0.5
    std::unique_ptr<TestUtil::WorkDir> m_dir;
};

QTEST_GUILESS_MAIN(TestStatusAcceptor)
#include "tst_statusacceptor.moc"
