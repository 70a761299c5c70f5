#include "project/inout.h"
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
#include <QtTest>

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
    QByteArray text = "{\"nodetype\":\"device\",\"type\":\"horn\",\"serial\":1}";
    for (int i = 0; i < depth; ++i)
        text = "{\"nodetype\":\"group\",\"name\":\"g\",\"nodes\":[" + text + "]}";
    return "{\"nodes\":[" + text + "]}";
}

} // namespace

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
        QTest::newRow("65 nested groups") << nestedGroups(65);
        QTest::newRow("deeper than the parser allows") << nestedGroups(2000);
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

    void nestingWithinLimitIsRead()
    {
        const QString path = m_dir.filePath("deep.mpj");
        writeAll(path, nestedGroups(64));
        ProjectModel model;
        QCOMPARE(model.load(path), 0);
        QCOMPARE(model.allGroups().size(), 64);
        QCOMPARE(model.allDevices().size(), 1);
        QCOMPARE(model.allDevices().first()->parentGroup()->groupPath().count("-->"), 63);
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
