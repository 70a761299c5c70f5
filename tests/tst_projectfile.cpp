#include "project/inout.h"
#include "project/jsonparser.h"
#include "project/projectdevice.h"
#include "project/projectfile.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace {

using TestUtil::readFile;

void writeAll(const QString &path, const QByteArray &data)
{
    QVERIFY(TestUtil::writeFile(path, data));
}

// The save time changes with every save; tests compare everything else byte for byte.
QByteArray withoutTime(QByteArray text)
{
    static const QRegularExpression time("\"time\": \"[^\"]*\"");
    return QString::fromUtf8(text).replace(time, "\"time\": \"TIME\"").toUtf8();
}

QString data(const char *name)
{
    return TestUtil::testData(name);
}

// Builds a nested chain of groups `depth` levels deep.
QByteArray nestedGroups(int depth)
{
    const QByteArray device = "{\"nodetype\":\"device\",\"type\":\"horn\",\"serial\":1}";
    return "{\"nodes\":[" +
        QByteArray("{\"nodetype\":\"group\",\"name\":\"g\",\"nodes\":[").repeated(depth) + device +
        QByteArray("]}").repeated(depth) + "]}";
}

// A document whose "nodes" holds `depth` nested arrays, or `depth` nested objects.
QByteArray nestedArrays(int depth)
{
    return "{\"nodes\":" + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
}

QByteArray nestedObjects(int depth)
{
    return "{\"nodes\":" + QByteArray("{\"a\":").repeated(depth) + "1" + QByteArray(depth, '}') +
        "}";
}

// Loads a file on a thread with the usual 8 MiB stack (the main thread's may be larger).
int loadOnDefaultStack(const QString &path)
{
    int result = 1;
    std::unique_ptr<QThread> thread(QThread::create([&result, path] {
        ProjectModel model(ProjectModel::Journals::None);
        result = model.load(path);
    }));
    thread->setStackSize(8 * 1024 * 1024);
    thread->start();
    if (!thread->wait(60000))
        return 1;
    return result;
}

// A value with the kind of every number in it, so that an integer and a double of the
// same value differ.
QString typed(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array: {
        QStringList items;
        for (const QJsonValue &item : value.toArray())
            items << typed(item);
        return "[" + items.join(',') + "]";
    }
    case QJsonValue::Object: {
        QStringList members;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            members << it.key() + ":" + typed(it.value());
        return "{" + members.join(',') + "}";
    }
    case QJsonValue::Double:
        return QString::fromLatin1(value.toVariant().typeName()) + " " +
            QString::number(value.toDouble(), 'g', 17);
    default:
        return QString::fromUtf8(QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact));
    }
}

// The thread's file system identity for as long as it lives: as root (CI) "nobody", who
// cannot write where root can; otherwise the user's own.
class OrdinaryUser {
public:
    static constexpr uid_t nobody = 65534;

    OrdinaryUser()
    {
        if (geteuid() != 0)
            return;
        setfsgid(nobody);
        setfsuid(nobody);
        m_switched = true;
    }
    ~OrdinaryUser()
    {
        if (m_switched) {
            setfsuid(0);
            setfsgid(0);
        }
    }
    static bool isRoot() { return geteuid() == 0; }

private:
    bool m_switched = false;
};

struct IdRow {
    const char *name;
    QByteArray text;
    int result;
    QList<int> ids;
    int lastId;
};

} // namespace

Q_DECLARE_METATYPE(IdRow)

class TestProjectFile : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void roundTripMatchesExpectedFile()
    {
        ProjectModel model;
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        const QString out = m_dir.filePath("roundtrip.mpj");
        QCOMPARE(model.save(out), 0);

        const QByteArray written = withoutTime(readFile(out));
        const QByteArray expected = readFile(data("roundtrip-expected.mpj"));
        // Line by line first, so that a difference is shown where it is.
        QCOMPARE(written.split('\n'), expected.split('\n'));
        QCOMPARE(written, expected);
        QVERIFY(!model.modified);
    }

    void savedFileReadsBackToTheSameTree()
    {
        ProjectModel first;
        QCOMPARE(first.load(data("roundtrip-in.mpj")), 0);
        const QString out = m_dir.filePath("again.mpj");
        QCOMPARE(first.save(out), 0);

        ProjectModel second;
        QCOMPARE(second.load(out), 0);
        QCOMPARE(second.lastId, first.lastId);
        QCOMPARE(second.allNodes().size(), first.allNodes().size());
        QCOMPARE(second.scenarios, first.scenarios);
        const QList<ProjectDevice *> a = first.allDevices();
        const QList<ProjectDevice *> b = second.allDevices();
        for (int i = 0; i < a.size(); ++i) {
            QCOMPARE(b.at(i)->id_obj, a.at(i)->id_obj);
            QCOMPARE(b.at(i)->serial, a.at(i)->serial);
            QCOMPARE(b.at(i)->inouts.size(), a.at(i)->inouts.size());
        }
        // Scenarios read from the file are written back, not dropped.
        QCOMPARE(second.scenarios.size(), 1);
        QCOMPARE(second.scenarios.first().name, "Пожар");
        // The code-255 device was written as "bootloader", which reads back as unknown.
        QCOMPARE(first.findDeviceBySerial(5005)->type, 255);
        QCOMPARE(second.findDeviceBySerial(5005)->type, 0);
    }

    void timeIsWrittenInTextDateForm()
    {
        ProjectModel model;
        const QString out = m_dir.filePath("time.mpj");
        QCOMPARE(model.save(out), 0);
        const QJsonObject root = QJsonDocument::fromJson(readFile(out)).object();
        const QString time = root.value("time").toString();
        QVERIFY2(QRegularExpression("^\\w{3} \\w{3} {1,2}\\d{1,2} \\d\\d:\\d\\d:\\d\\d \\d{4}$")
                     .match(time)
                     .hasMatch(),
                 qPrintable(time));
        QCOMPARE(root.value("id_obj").toInt(), -1);
        QVERIFY(root.value("scenarios").isArray());
        QVERIFY(root.value("nodes").toArray().isEmpty());
    }

    // Scenarios with keys of an unexpected type are saved back exactly as they were read,
    // and the rest of the project opens as usual.
    void oddScenariosSavedAsRead()
    {
        const QByteArray scenarios = R"([
            {"name": "A", "priority": 2.5, "algos": []},
            {"name": "B", "algos": [{"type": "0", "runby": "event_list", "events": []}]},
            {"name": "C", "algos": [{"type": 0, "events": {"device_index": 7}}]},
            {"name": "D", "priority": 1, "timer": true, "shedule": false, "dependencies": false,
             "algos": []}])";
        const QString path = m_dir.filePath("odd.mpj");
        writeAll(path,
                 R"({"name": "P", "nodes": [{"nodetype": "device", "type": 7,
                 "serial": 702}], "scenarios": )" +
                     scenarios + "}");
        ProjectModel model;
        QCOMPARE(model.load(path), 0);
        QCOMPARE(model.allDevices().size(), 1);
        QCOMPARE(model.scenarios.size(), 4);
        const QString out = m_dir.filePath("odd-saved.mpj");
        QCOMPARE(model.save(out), 0);
        const QJsonArray written =
            QJsonDocument::fromJson(readFile(out)).object().value("scenarios").toArray();
        const QJsonArray read = QJsonDocument::fromJson(scenarios).array();
        QCOMPARE(written.size(), read.size());
        for (int i = 0; i < read.size(); ++i)
            QCOMPARE(QJsonDocument(written.at(i).toObject()).toJson(QJsonDocument::Compact),
                     QJsonDocument(read.at(i).toObject()).toJson(QJsonDocument::Compact));
    }

    void defaultsForWrongTypes()
    {
        const QByteArray text = R"({
            "name": 5, "id_obj": "x",
            "nodes": [
              {"nodetype": "device", "type": 3, "id_obj": 1.5, "serial": "12", "tag": [],
               "rs485_enabled": "true", "rs485_addr": true, "ip_enabled": 0, "ip_addr": 127,
               "keys_count": {}, "inouts": {"type": 4}},
              {"nodetype": "device", "type": "tovik2", "serial": 1e300,
               "inouts": [ {"type": "4", "name": 1, "description": null, "index": "3", "id_obj": [],
                            "outlinks": [ {"id_obj": "7", "indexes": "1"}, 5 ]},
                           7 ]},
              {"nodetype": "group", "name": {}, "id_obj": false, "nodes": "none"}
            ],
            "scenarios": {"name": "not an array"}
        })";
        const QString path = m_dir.filePath("types.mpj");
        writeAll(path, text);

        ProjectModel model;
        QCOMPARE(model.load(path), 0);
        QCOMPARE(model.name, QString());
        QVERIFY(model.scenarios.isEmpty());
        const QList<ProjectDevice *> devices = model.allDevices();
        QCOMPARE(devices.size(), 2);

        const ProjectDevice *first = devices.at(0);
        QCOMPARE(first->type, 0);
        QCOMPARE(first->serial, 0);
        QCOMPARE(first->tag, QString());
        QCOMPARE(first->rs485_enabled, false);
        QCOMPARE(first->rs485_addr, uint8_t(0));
        QCOMPARE(first->ip_enabled, false);
        QCOMPARE(first->ip_addr, QString());
        QCOMPARE(first->keys_count, -1);
        QVERIFY(first->inouts.isEmpty()); // type 0 has no template

        const ProjectDevice *second = devices.at(1);
        QCOMPARE(second->type, 1);
        QCOMPARE(second->serial, 0);
        QCOMPARE(second->inouts.size(), 2);
        const InOut *io = second->inouts.at(0);
        QCOMPARE(io->type, -1);
        QCOMPARE(io->name, QString());
        QCOMPARE(io->description, QString());
        QCOMPARE(io->index, 1);
        QCOMPARE(io->id_obj, 0);
        QCOMPARE(io->outlinks.size(), 2);
        QCOMPARE(io->outlinks.at(0).id_obj, 0);
        QVERIFY(io->outlinks.at(0).indexes.isEmpty());
        QCOMPARE(second->inouts.at(1)->index, 2);

        // Identifiers: the file's "id_obj" was not a number, so numbering starts at 0.
        QCOMPARE(model.allGroups().size(), 1);
        QCOMPARE(first->id_obj, 0);
        QCOMPARE(second->id_obj, 1);
        QCOMPARE(model.allGroups().first()->id_obj, 2);
        QCOMPARE(model.lastId, 2);
    }

    void damagedInputLeavesProjectUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("this is not a project");
        QTest::newRow("top-level array") << QByteArray("[{\"nodetype\":\"group\"}]");
        QTest::newRow("top-level string") << QByteArray("\"project\"");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("truncated")
            << QByteArray("{\"name\":\"x\",\"nodes\":[{\"nodetype\":\"group\",\"na");
        QTest::newRow("257 nested groups") << nestedGroups(ProjectModel::maxGroupDepth + 1);
        QTest::newRow("deeper than the parser allows") << nestedGroups(2000);
        QTest::newRow("a console with 129 buttons") << QByteArray(
            R"({"nodes":[{"nodetype":"device","type":"ip_pult","serial":1,"keys_count":129}]})");
        QTest::newRow("a console with 300000000 buttons") << QByteArray(
            R"({"nodes":[{"nodetype":"device","type":"ip_pult","serial":1,"keys_count":300000000}]})");
        QTest::newRow("buttons beyond any integer") << QByteArray(
            R"({"nodes":[{"nodetype":"group","nodes":[{"nodetype":"device","keys_count":1e300}]}]})");
        QTest::newRow("no identifier left")
            << QByteArray(R"({"id_obj":2147483647,"nodes":[{"nodetype":"device","type":"horn"}]})");
    }

    void damagedInputLeavesProjectUntouched()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath("damaged.mpj");
        writeAll(path, content);

        ProjectModel model;
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        const int nodesBefore = model.allNodes().size();
        const QString pathBefore = model.path;
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);

        QCOMPARE(model.load(path), -2);
        QCOMPARE(model.allNodes().size(), nodesBefore);
        QCOMPARE(model.path, pathBefore);
        QCOMPARE(model.name, "Школа №5");
        QCOMPARE(changes.count(), 0);
    }

    void hostileNestingFailsCleanly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("a million nested arrays") << nestedArrays(1000000);
        QTest::newRow("a million nested objects") << nestedObjects(1000000);
        QTest::newRow("a million nested groups") << nestedGroups(1000000);
    }

    void hostileNestingFailsCleanly()
    {
        QFETCH(QByteArray, content);
        const QString path = m_dir.filePath("hostile.mpj");
        writeAll(path, content);
        QCOMPARE(loadOnDefaultStack(path), -2);
    }

    void deepestGroupsTheModelMakesReopen()
    {
        ProjectModel model(ProjectModel::Journals::None);
        ProjectGroup *deepest = model.addGroup();
        for (int depth = 2; depth <= ProjectModel::maxGroupDepth; ++depth)
            deepest = model.addGroup(deepest);
        QCOMPARE(deepest->depth(), ProjectModel::maxGroupDepth);
        model.addDevice(
            deepest,
            new ProjectDevice(DeviceType::Horn, 7, QString(), false, 0, false, QString(), -1));
        const QString path = m_dir.filePath("deep.mpj");
        QCOMPARE(model.save(path), 0);

        ProjectModel reopened(ProjectModel::Journals::None);
        QCOMPARE(reopened.load(path), 0);
        QCOMPARE(reopened.allGroups().size(), ProjectModel::maxGroupDepth);
        QCOMPARE(reopened.allDevices().size(), 1);
        QCOMPARE(reopened.allDevices().first()->parentGroup()->depth(),
                 ProjectModel::maxGroupDepth);
        QCOMPARE(loadOnDefaultStack(path), 0);
    }

    void identifiersOnLoad_data()
    {
        const QByteArray noId = R"({"nodetype":"device","type":"horn"})";
        const IdRow rows[] = {
            {"root -2", R"({"id_obj":-2,"nodes":[)" + noId + "]}", 0, {0}, 0},
            {"root below the identifiers in the file",
             R"({"id_obj":1,"nodes":[{"nodetype":"device","id_obj":2},)" + noId +
                 R"(,{"nodetype":"group","id_obj":-1}]})",
             0,
             {2, 3, 4},
             4},
            {"negative identifier",
             R"({"id_obj":4,"nodes":[{"nodetype":"device","id_obj":-7}]})",
             0,
             {5},
             5},
            {"last identifier taken, none needed",
             R"({"id_obj":2147483647,"nodes":[{"nodetype":"device","id_obj":3}]})",
             0,
             {3},
             std::numeric_limits<int>::max()},
            {"last identifier in a node",
             R"({"id_obj":0,"nodes":[{"nodetype":"device","id_obj":2147483647},)" + noId + "]}",
             -2,
             {},
             0},
        };
        TestUtil::addRows(rows);
    }

    void identifiersOnLoad()
    {
        QFETCH(IdRow, row);
        const QString path = m_dir.filePath("ids.mpj");
        writeAll(path, row.text);
        ProjectModel model(ProjectModel::Journals::None);
        QCOMPARE(model.load(path), row.result);
        if (row.result != 0)
            return;
        QList<int> ids;
        for (QObject *node : model.allNodes()) {
            if (auto *group = qobject_cast<ProjectGroup *>(node))
                ids << group->id_obj;
            else
                ids << qobject_cast<ProjectDevice *>(node)->id_obj;
        }
        QCOMPARE(ids, row.ids);
        QCOMPARE(model.lastId, row.lastId);
    }

    void serialsUseTheWholeUnsignedRange()
    {
        ProjectModel model(ProjectModel::Journals::None);
        for (quint32 serial : {2147483647u, 2147483648u, 4294967295u})
            model.addDevice(nullptr,
                            new ProjectDevice(DeviceType::Horn, serial, QString(), false, 0, false,
                                              QString(), -1));
        const QString path = m_dir.filePath("serials.mpj");
        QCOMPARE(model.save(path), 0);
        const QByteArray text = readFile(path);
        for (const char *written :
             {"\"serial\": 2147483647,", "\"serial\": 2147483648,", "\"serial\": 4294967295,"})
            QVERIFY2(text.contains(written), written);

        ProjectModel reopened(ProjectModel::Journals::None);
        QCOMPARE(reopened.load(path), 0);
        QList<quint32> serials;
        for (const ProjectDevice *device : reopened.allDevices())
            serials << device->serial;
        QCOMPARE(serials, QList<quint32>({2147483647u, 2147483648u, 4294967295u}));
        QVERIFY(reopened.findDeviceBySerial(4294967295u));

        // Beyond 32 bits, negative or fractional: no serial number.
        writeAll(path, R"({"nodes":[{"nodetype":"device","serial":4294967296},
                                    {"nodetype":"device","serial":-5},
                                    {"nodetype":"device","serial":7.5}]})");
        QCOMPARE(reopened.load(path), 0);
        for (const ProjectDevice *device : reopened.allDevices())
            QCOMPARE(device->serial, 0u);
    }

    void missingFileIsMinusOne()
    {
        ProjectModel model;
        QCOMPARE(model.load(m_dir.filePath("absent.mpj")), -1);
        QCOMPARE(model.load(m_dir.path()), -1); // a folder is not a readable file
        QVERIFY(model.path.isEmpty());
    }

    void saveFailureKeepsPreviousFile()
    {
        ProjectModel model;
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        model.modified = true;
        QCOMPARE(model.save(m_dir.filePath("no/such/folder/p.mpj")), -1);
        QCOMPARE(model.save(m_dir.path()), -1);
        QVERIFY(model.modified);

        // A file that cannot be replaced keeps its previous content.
        const QString target = m_dir.filePath("blocked.mpj");
        QVERIFY(QDir().mkpath(target + "/inner"));
        QVERIFY(model.save(target) != 0);
        QVERIFY(QFileInfo(target + "/inner").isDir());
    }

    void saveKeepsTheFileAndItsPermissions_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::newRow("writable folder: replaced atomically") << true;
        QTest::newRow("folder without write access: written in place") << false;
    }

    void saveKeepsTheFileAndItsPermissions()
    {
        QFETCH(bool, folderWritable);
        QTemporaryDir dir;
        const QString folder = dir.filePath("projects");
        const QString target = folder + "/p.mpj";
        QVERIFY(QDir().mkpath(folder));
        writeAll(target, "{}");
        // As root the file belongs to "nobody", who saves it; otherwise to the user.
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        if (OrdinaryUser::isRoot())
            QVERIFY(::chown(QFile::encodeName(target).constData(), OrdinaryUser::nobody,
                            OrdinaryUser::nobody) == 0);
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0640) == 0);
        const mode_t folderMode = folderWritable || OrdinaryUser::isRoot() ? 0755 : 0555;
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), folderMode) == 0);
        if (folderWritable && OrdinaryUser::isRoot())
            QVERIFY(::chown(QFile::encodeName(folder).constData(), OrdinaryUser::nobody,
                            OrdinaryUser::nobody) == 0);
        struct stat before { };
        QVERIFY(::stat(QFile::encodeName(target).constData(), &before) == 0);

        ProjectModel model(ProjectModel::Journals::None);
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        int result = 1;
        {
            OrdinaryUser user;
            QFile probe(folder + "/probe");
            if (probe.open(QIODevice::WriteOnly) == folderWritable &&
                QFile(target).open(QIODevice::ReadWrite))
                result = model.save(target);
            else
                result = 2;
            probe.remove();
        }
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        if (result == 2)
            QSKIP("this system gives no identity that is refused a new file in the folder "
                  "but allowed to write the file");
        QCOMPARE(result, 0);

        QJsonObject saved;
        QVERIFY(JsonParser::parseObject(readFile(target), &saved));
        QCOMPARE(saved.value("name").toString(), "Школа №5");
        struct stat after { };
        QVERIFY(::stat(QFile::encodeName(target).constData(), &after) == 0);
        QCOMPARE(after.st_mode & 07777, mode_t(0640));
        QCOMPARE(after.st_uid, before.st_uid);
        // A new file took the old one's place, or the old one was rewritten.
        QCOMPARE(after.st_ino != before.st_ino, folderWritable);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"p.mpj"});
    }

    void saveReplacesWholeFileAndLeavesNoTemporary()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("p.mpj");
        writeAll(target, QByteArray(200000, 'x')); // longer than the project

        ProjectModel model;
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        QCOMPARE(model.save(target), 0);
        const QByteArray written = readFile(target);
        QVERIFY(!written.contains('x' + QByteArray(10, 'x')));
        QVERIFY(QJsonDocument::fromJson(written).isObject());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {"p.mpj"});
    }

    void lastIdSurvivesReopening()
    {
        ProjectModel model;
        model.addDevice(
            nullptr,
            new ProjectDevice(DeviceType::Horn, 1, QString(), false, 0, false, QString(), -1));
        ProjectGroup *group = model.addGroup();
        QCOMPARE(group->id_obj, -1); // groups get identifiers at the next load
        QCOMPARE(model.lastId, 0);

        const QString out = m_dir.filePath("ids.mpj");
        QCOMPARE(model.save(out), 0);
        ProjectModel reopened;
        QCOMPARE(reopened.load(out), 0);
        QCOMPARE(reopened.allGroups().first()->id_obj, 1);
        QCOMPARE(reopened.lastId, 1);

        // A device added after reopening never reuses an identifier.
        auto *device =
            new ProjectDevice(DeviceType::Horn, 2, QString(), false, 0, false, QString(), -1);
        reopened.addDevice(nullptr, device);
        QCOMPARE(device->id_obj, 2);
    }

    void parserGivesWhatQtGives_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("project file") << readFile(data("roundtrip-in.mpj"));
        QTest::newRow("status document") << QByteArray(
            R"({"device":"tovik2","serial":2002,"version":"2.7.1","keys_count":8,)"
            R"("errors":["tamper","no ext power"],"binstate":"0000000000000000000000000400000000000000"})");
        QTest::newRow("numbers") << QByteArray(
            R"({"a":1.0,"b":1e2,"c":-0,"d":9007199254740992,"e":9223372036854775808,)"
            R"("f":1.5,"g":12345678901234567890,"h":-0.0,"i":-9223372036854775808,"j":0.1,)"
            R"("k":1E-7,"l":4294967295,"m":-1,"n":2.5e+3,"o":[0,-0.5,1e308]})");
        QTest::newRow("strings") << QByteArray(
            "{\"s\":\"\\u00e9\\n\\t\\\"\\\\\\/ \\ud83d\\ude00\",\"ключ\":\"значение\","
            "\"\":\"empty key\",\"nul\":\"a\\u0000b\"}");
        QTest::newRow("repeated keys") << QByteArray(
            R"({"errors":["tamper"],"errors":[],"a":{"x":1},"a":2,"n":null,"n":{"deep":[1,{"b":true,"b":false}]}})");
        QTest::newRow("byte order mark and white space")
            << QByteArray("\xEF\xBB\xBF \r\n\t{ \"a\" : [ true , false , null ] } \n");
        QTest::newRow("1024 levels")
            << "{\"a\":" + QByteArray(1023, '[') + QByteArray(1023, ']') + "}";
        // Refused by both.
        QTest::newRow("1025 levels")
            << "{\"a\":" + QByteArray(1024, '[') + QByteArray(1024, ']') + "}";
        QTest::newRow("infinite number") << QByteArray(R"({"a":1E400})");
        QTest::newRow("not UTF-8") << QByteArray("{\"a\":\"\xFF\"}");
        QTest::newRow("trailing text") << QByteArray(R"({"a":1} x)");
        QTest::newRow("top-level array") << QByteArray("[1]");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("NaN") << QByteArray(R"({"a":NaN})");
        QTest::newRow("trailing comma") << QByteArray(R"({"a":1,})");
        QTest::newRow("comment") << QByteArray("{\"a\":1 /* c */}");
        QTest::newRow("control character") << QByteArray("{\"a\":\"x\ny\"}");
        QTest::newRow("unterminated") << QByteArray(R"({"a":[1,2)");
    }

    void parserGivesWhatQtGives()
    {
        QFETCH(QByteArray, text);
        // Qt's parser leaks the values a repeated key replaces; for that row it reads the
        // document as it must come out.
        const bool repeated = qstrcmp(QTest::currentDataTag(), "repeated keys") == 0;
        const QJsonDocument expected = QJsonDocument::fromJson(
            repeated ? QByteArray(R"({"errors":[],"a":2,"n":{"deep":[1,{"b":false}]}})") : text);
        QJsonObject parsed;
        QString error;
        const bool ok = JsonParser::parseObject(text, &parsed, &error);
        QCOMPARE(ok, expected.isObject());
        if (!ok) {
            QVERIFY(!error.isEmpty());
            QVERIFY(!error.contains('\n'));
            return;
        }
        QCOMPARE(typed(parsed), typed(expected.object()));
        QCOMPARE(QJsonDocument(parsed).toJson(), expected.toJson());
    }

    void loadAnnouncesNewTree()
    {
        ProjectModel model;
        model.addGroup();
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        QCOMPARE(model.load(data("roundtrip-in.mpj")), 0);
        QVERIFY(changes.count() >= 1);
        QCOMPARE(changes.last().at(0).value<QObject *>(), static_cast<QObject *>(&model));
        QCOMPARE(model.path, data("roundtrip-in.mpj"));
        QCOMPARE(model.nodes.size(), 4);
        for (QObject *node : model.nodes)
            QCOMPARE(node->parent(), static_cast<QObject *>(&model));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
