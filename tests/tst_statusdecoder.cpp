#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/devicetype.h"
#include "project/faultlisttext.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "project/statusdecoder.h"
#include "testutil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDateTime base(QDate(2024, 3, 5), QTime(9, 0, 0));

// A binary state of `size` bytes with the given bits set, as the devices send it.
QString binstate(int size, const QList<int> &bits = {}, int mode = 0, int byte3 = 0)
{
    QByteArray bytes(size, '\0');
    if (size > 0)
        bytes[0] = char(mode);
    if (size > 3)
        bytes[3] = char(byte3);
    for (int n : bits)
        bytes[n / 8] = char(bytes.at(n / 8) | (1 << (n % 8)));
    return QString::fromLatin1(bytes.toHex());
}

// Bits of line `line` (0..7) in state s.
QList<int> lineBits(int line, int s)
{
    QList<int> bits;
    if (s & 1)
        bits << 96 + 2 * line;
    if (s & 2)
        bits << 97 + 2 * line;
    return bits;
}

QJsonObject document(const QStringList &errors, const QString &state)
{
    QJsonObject object {{"device", "tovik2"}, {"serial", 1001}, {"version", "3.14"}};
    if (!errors.isEmpty())
        object.insert("errors", QJsonArray::fromStringList(errors));
    if (!state.isNull())
        object.insert("binstate", state);
    return object;
}

QList<int> kinds(const ProjectDevice *device)
{
    QList<int> list;
    for (const DeviceFault &fault : device->faults)
        list << fault.kind;
    return list;
}

} // namespace

class TestStatusDecoder : public QObject {
    Q_OBJECT

private slots:
    // The faults as the site database keeps them: what a monitor writes reads back the same;
    // a damaged entry is dropped and flagged, the rest kept.
    void faultListText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("readBack");
        QTest::addColumn<bool>("ok");
        QTest::newRow("none") << ""
                              << "" << true;
        QTest::newRow("one") << "0:3:2"
                             << "0:3:2" << true;
        QTest::newRow("several") << "1:0:1;5:12:3;3:0:1"
                                 << "1:0:1;5:12:3;3:0:1" << true;
        QTest::newRow("damaged entry") << "1:0:1;x:1:1;2:0:1"
                                       << "1:0:1;2:0:1" << false;
        QTest::newRow("too few parts") << "1:0;2:0:1"
                                       << "2:0:1" << false;
        QTest::newRow("kind out of range") << "256:0:1;-1:0:1"
                                           << "" << false;
        QTest::newRow("not a list") << "{\"kind\":1}"
                                    << "" << false;
    }
    void faultListText()
    {
        QFETCH(QString, text);
        QFETCH(QString, readBack);
        QFETCH(bool, ok);
        bool parsedOk = !ok;
        const QVector<DeviceFault> faults = FaultListText::parse(text, &parsedOk);
        QCOMPARE(parsedOk, ok);
        QCOMPARE(FaultListText::format(faults), readBack);
    }

    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
        m_model = std::make_unique<ProjectModel>();
        m_model->monitoring = true;
    }

    void cleanup()
    {
        m_model.reset();
        m_dir.reset();
    }

    void stateLengths_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("byte3");
        QTest::addColumn<QList<int>>("faultKinds");

        // Every length carries mode 2, byte 3 = 0x05, line 2 open, console 4 and extension
        // unit 9 faulty, as far as its bytes reach.
        QTest::newRow("1 byte") << 1 << -1 << 0 << QList<int> {};
        QTest::newRow("2 bytes") << 2 << 2 << 0 << QList<int> {};
        QTest::newRow("4 bytes") << 4 << 2 << 5 << QList<int> {};
        QTest::newRow("15 bytes") << 15 << 2 << 5 << QList<int> {0};
        QTest::newRow("19 bytes") << 19 << 2 << 5 << QList<int> {0};
        QTest::newRow("20 bytes") << 20 << 2 << 5 << QList<int> {0, 6};
        QTest::newRow("21 bytes") << 21 << 2 << 5 << QList<int> {0, 5, 6};
    }

    void stateLengths()
    {
        QFETCH(int, size);
        QFETCH(int, mode);
        QFETCH(int, byte3);
        QFETCH(QList<int>, faultKinds);

        ProjectDevice *device = addDevice();
        QList<int> bits = lineBits(1, 2);
        bits << 120 + 3 << 152 + 8;
        QList<int> reachable;
        for (int n : qAsConst(bits)) {
            if (n / 8 < size)
                reachable << n;
        }
        QSignalSpy changed(device, &ProjectDevice::statusChanged);
        device->setStatus(document({}, binstate(size, reachable, 2, 5)), base);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(device->mode, mode);
        QCOMPARE(int(device->statusByte3), byte3);
        QCOMPARE(kinds(device), faultKinds);
        for (const DeviceFault &fault : device->faults) {
            if (fault.kind == DeviceFault::Line)
                QCOMPARE(fault.index, 1);
            if (fault.kind == DeviceFault::Console)
                QCOMPARE(fault.index, 3);
            if (fault.kind == DeviceFault::ExtensionUnit)
                QCOMPARE(fault.index, 8);
        }
        // Line events only when the state reaches the lines: 17 (open ЛО2) and one normal
        // record for each of the seven other lines.
        const QList<int> events = codes(device->id_obj);
        if (size >= 15)
            QCOMPARE(events, (QList<int> {32, 17, 34, 35, 36, 37, 38, 39}));
        else
            QVERIFY(events.isEmpty());
    }

    void modeByteIsSigned()
    {
        ProjectDevice *device = addDevice();
        device->setStatus(document({}, binstate(2, {}, 0x86)), base);
        QCOMPARE(device->mode, -122);
        QCOMPARE(StatusDecoder::modeName(device->mode), "НЕКОРРЕКТНОЕ ЗНАЧЕНИЕ");
        // A document without a usable state leaves the mode as it was.
        device->setStatus(document({}, binstate(1, {}, 3)), base.addSecs(1));
        QCOMPARE(device->mode, -122);
    }

    void binaryStateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("lower case") << "00ff10" << QByteArray::fromHex("00ff10");
        QTest::newRow("upper case") << "00FF10" << QByteArray::fromHex("00ff10");
        QTest::newRow("spaces between bytes") << "00 ff 10" << QByteArray::fromHex("00ff10");
        QTest::newRow("odd digit count") << "00f" << QByteArray();
        QTest::newRow("not hexadecimal") << "00zz" << QByteArray();
        QTest::newRow("empty") << "" << QByteArray();
    }

    void binaryStateText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(StatusDecoder::binaryState(QJsonObject {{"binstate", text}}), bytes);
    }

    void missingKeysAndUnknownErrors()
    {
        ProjectDevice *device = addDevice();
        QSignalSpy changed(device, &ProjectDevice::statusChanged);
        QJsonObject odd {{"device", "tovik2"},
                         {"errors", QJsonArray {"fire alarm", 5, QJsonObject(), "UM ERROR"}},
                         {"binstate", 42}};
        device->setStatus(odd, base);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(device->mode, -1);
        QVERIFY(device->faults.isEmpty());
        QVERIFY(codes(device->id_obj).isEmpty());
        QCOMPARE(device->lastSeen, base);
        QCOMPARE(device->status, odd);

        device->setStatus(QJsonObject(), base.addSecs(1));
        QCOMPARE(changed.count(), 2);
        QVERIFY(device->faults.isEmpty());
        QVERIFY(codes(device->id_obj).isEmpty());
    }

    void faultOrderAndFields()
    {
        ProjectDevice *device = addDevice();
        QList<int> bits = lineBits(7, 3) + lineBits(0, 1);
        bits << 120 + 31 << 152 << 120;
        device->setStatus(
            document({"tamper", "no ext power", "accum error", "um error"}, binstate(21, bits)),
            base);
        QCOMPARE(device->faults.size(), 9);
        const QList<DeviceFault> expected = {
            {DeviceFault::Amplifier, 0, 1, device},     {DeviceFault::Battery, 0, 1, device},
            {DeviceFault::Mains, 0, 1, device},         {DeviceFault::Tamper, 0, 1, device},
            {DeviceFault::Line, 0, 1, device},          {DeviceFault::Line, 7, 3, device},
            {DeviceFault::ExtensionUnit, 0, 1, device}, {DeviceFault::Console, 0, 1, device},
            {DeviceFault::Console, 31, 1, device},
        };
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(device->faultAt(i), expected.at(i));
        QCOMPARE(device->faultAt(9).kind, int(DeviceFault::None));
    }

    void generalFaultTransitions()
    {
        ProjectDevice *device = addDevice();
        const int id = device->id_obj;
        device->setStatus(document({"tamper"}, QString()), base);
        QCOMPARE(kinds(device), QList<int> {DeviceFault::Tamper});
        QCOMPARE(codes(id), QList<int> {5});

        device->setStatus(document({"tamper"}, QString()), base.addSecs(1));
        QCOMPARE(codes(id), QList<int> {5});

        device->setStatus(document({}, QString()), base.addSecs(2));
        QVERIFY(device->faults.isEmpty());
        QCOMPARE(codes(id), (QList<int> {5, 0x40000005}));

        device->setStatus(document({"um error", "accum error"}, QString()), base.addSecs(3));
        device->setStatus(document({"accum error"}, QString()), base.addSecs(4));
        QCOMPARE(codes(id), (QList<int> {5, 0x40000005, 2, 3, 0x40000002}));
    }

    void clearStatusLogsActiveFaultsAgain()
    {
        ProjectDevice *device = addDevice();
        const int id = device->id_obj;
        device->setStatus(document({"um error"}, QString()), base);
        QCOMPARE(codes(id), QList<int> {2});

        // Acknowledgement as the main window does it.
        QVERIFY(
            m_model->logDb->insertEvent(-1, QString(), EventCode::Acknowledged, base.addSecs(1)));
        QVERIFY(m_model->logDb->markAllSeen());
        device->clearStatus();
        device->setStatus(document({"um error"}, QString()), base.addSecs(2));
        QCOMPARE(codes(id), (QList<int> {2, 2}));
        QCOMPARE(m_model->logDb->eventCount(0), 1);

        // Without an acknowledgement clearStatus offers the fault again, and the journal
        // keeps it to one record.
        device->clearStatus();
        device->setStatus(document({"um error"}, QString()), base.addSecs(3));
        QCOMPARE(codes(id), (QList<int> {2, 2}));
    }

    void lineOpenRepeatedThenNormal()
    {
        ProjectDevice *device = addDevice();
        const int id = device->id_obj;
        for (int i = 0; i < 3; ++i)
            device->setStatus(document({}, binstate(15, lineBits(2, 2))), base.addSecs(i));
        QCOMPARE(codes(id), (QList<int> {32, 33, 18, 35, 36, 37, 38, 39}));
        QCOMPARE(device->faults.size(), 1);
        QCOMPARE(device->faults.first().state, 2);

        device->setStatus(document({}, binstate(15)), base.addSecs(3));
        device->setStatus(document({}, binstate(15)), base.addSecs(4));
        QCOMPARE(codes(id).mid(8), QList<int> {34});
        QVERIFY(device->faults.isEmpty());

        device->setStatus(document({}, binstate(15, lineBits(2, 2))), base.addSecs(5));
        device->setStatus(document({}, binstate(15, lineBits(2, 2))), base.addSecs(6));
        QCOMPARE(codes(id).mid(8), (QList<int> {34, 18}));
    }

    void newestLineFaultDecidesTheNormalRecord()
    {
        ProjectDevice *device = addDevice();
        const int id = device->id_obj;
        device->setStatus(document({}, binstate(15, lineBits(0, 1))), base);
        device->setStatus(document({}, binstate(15)), base.addSecs(1));
        device->setStatus(document({}, binstate(15, lineBits(0, 2))), base.addSecs(2));
        device->setStatus(document({}, binstate(15)), base.addSecs(3));
        QList<int> line0;
        for (int code : codes(id)) {
            if (code % 8 == 0)
                line0 << code;
        }
        // The old short circuit must not hide the open circuit that came after it.
        QCOMPARE(line0, (QList<int> {8, 32, 16, 32}));
    }

    void statusJournal()
    {
        ProjectDevice *device = addDevice();
        const QJsonObject doc = document({"tamper"}, binstate(2));
        device->setStatus(doc, base);
        QSqlQuery query(m_model->logDb->database());
        QVERIFY(query.exec(QStringLiteral("SELECT device_unique_id, status_json, param_time FROM "
                                          "status_log")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), device->id_obj);
        QCOMPARE(query.value(1).toString(),
                 QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Compact)));
        QCOMPARE(query.value(2).toString(), "09:00:00 05.03.2024");
        QVERIFY(!query.next());
    }

    void deviceOutsideAModel()
    {
        ProjectDevice device(DeviceType::Tovik2, 5, QString(), false, 0, true, "127.0.0.9", -1);
        QSignalSpy changed(&device, &ProjectDevice::statusChanged);
        device.setStatus(document({"um error"}, binstate(15, lineBits(4, 1), 3)), base);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(device.mode, 3);
        QCOMPARE(kinds(&device), (QList<int> {DeviceFault::Amplifier, DeviceFault::Line}));
        QCOMPARE(device.lastSeen, base);
        QCOMPARE(m_model->logDb->eventCount(5), 0);
    }

private:
    ProjectDevice *addDevice(int type = DeviceType::Tovik2)
    {
        auto *device = new ProjectDevice(type, 1001, QString(), false, 0, true, "127.0.0.2", -1);
        m_model->addDevice(nullptr, device);
        return device;
    }

    QList<int> codes(int deviceId) const { return TestUtil::eventCodes(m_model->logDb, deviceId); }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
    std::unique_ptr<ProjectModel> m_model;
};

QTEST_GUILESS_MAIN(TestStatusDecoder)
#include "tst_statusdecoder.moc"
