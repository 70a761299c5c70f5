#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

namespace {

ProjectDevice *makeDevice(int type, int serial = 0, int keys = -1)
{
    return new ProjectDevice(type, serial, QString(), false, 0, false, QString(), keys);
}

QStringList descriptions(const ProjectDevice *device)
{
    QStringList list;
    for (const InOut *io : device->inouts)
        list << QStringLiteral("%1:%2:%3").arg(io->type).arg(io->description).arg(io->index);
    return list;
}

QObject *changedNode(const QSignalSpy &spy, int i)
{
    return spy.at(i).at(0).value<QObject *>();
}

struct TemplateRow {
    const char *name;
    int type, keys, count;
    const char *last;
};

} // namespace

Q_DECLARE_METATYPE(TemplateRow)

class TestProjectModel : public QObject {
    Q_OBJECT

private slots:
    void templates_data()
    {
        const TemplateRow rows[] = {
            // name, type, keys, count, last entry (type:description:index)
            {"tovik2", 1, -1, 23, "6:Аудио-вход:23"},
            {"console 6, keys 0", 6, 0, 10, "8:Микрофон:10"},
            {"console 6, keys -1", 6, -1, 10, "8:Микрофон:10"},
            {"console 6, keys 24", 6, 24, 26, "8:Микрофон:26"},
            {"console 6, keys 128", 6, 128, 130, "8:Микрофон:130"},
            {"console 6, keys 129", 6, 129, 10, "8:Микрофон:10"},
            {"console 8, keys 12", 8, 12, 16, "8:Микрофон:16"},
            {"bootloader", 255, -1, 0, ""},
            {"unknown code", 42, -1, 0, ""},
        };
        TestUtil::addRows(rows);
    }

    void templates()
    {
        QFETCH(TemplateRow, row);
        std::unique_ptr<ProjectDevice> device(makeDevice(row.type, 1, row.keys));
        QCOMPARE(device->inouts.size(), row.count);
        QCOMPARE(descriptions(device.get()).value(row.count - 1), row.last);
        for (const InOut *io : device->inouts) {
            QCOMPARE(io->parent(), device.get());
            QVERIFY(io->name.isEmpty());
        }
        QVERIFY(device->lastSeen.isValid());
    }

    void setKeysCount_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("initial");
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("6: 8 -> 10 inserts after button 8")
            << 6 << 8 << 10
            << QStringList {"7:Кнопка 1:1",   "7:Кнопка 2:2",       "7:Кнопка 3:3",
                            "7:Кнопка 4:4",   "7:Кнопка 5:5",       "7:Кнопка 6:6",
                            "7:Кнопка 7:7",   "7:Кнопка 8:8",       "7:Кнопка 9:9",
                            "7:Кнопка 10:10", "4:Динамик пульта:9", "8:Микрофон:10"};
        QTest::newRow("8: 2 -> 1 removes the last button")
            << 8 << 2 << 1
            << QStringList {"7:Кнопка 1:1", "0:Вход управления 1:3", "2:Выход управления 1:4",
                            "4:Динамик пульта:5", "8:Микрофон:6"};
        QTest::newRow("6: 2 -> 0 removes every button")
            << 6 << 2 << 0 << QStringList {"4:Динамик пульта:3", "8:Микрофон:4"};
        QTest::newRow("6: 2 -> 2 changes nothing")
            << 6 << 2 << 2
            << QStringList {"7:Кнопка 1:1", "7:Кнопка 2:2", "4:Динамик пульта:3", "8:Микрофон:4"};
        QTest::newRow("6: negative count keeps the buttons")
            << 6 << 2 << -1
            << QStringList {"7:Кнопка 1:1", "7:Кнопка 2:2", "4:Динамик пульта:3", "8:Микрофон:4"};
        QTest::newRow("6: more than any console keeps the buttons")
            << 6 << 2 << 129
            << QStringList {"7:Кнопка 1:1", "7:Кнопка 2:2", "4:Динамик пульта:3", "8:Микрофон:4"};
    }

    void setKeysCount()
    {
        QFETCH(int, type);
        QFETCH(int, initial);
        QFETCH(int, n);
        QFETCH(QStringList, expected);

        std::unique_ptr<ProjectDevice> device(makeDevice(type, 1, initial));
        device->setKeysCount(n);
        QCOMPARE(descriptions(device.get()), expected);
        const bool ignored = n < 0 || n > ProjectDevice::maxKeysCount;
        QCOMPARE(device->keys_count, ignored ? initial : n);
        QCOMPARE(device->buttonCount(), ignored ? initial : n);
    }

    void buttonChangesAreAnnounced()
    {
        std::unique_ptr<ProjectDevice> console(makeDevice(DeviceType::IpPult, 1, 8));
        // What a view sees when each signal comes: the channel, and whether the list
        // still (or already) holds it.
        QStringList seen;
        QList<QPointer<InOut>> removed;
        connect(console.get(), &ProjectDevice::inOutAboutToBeRemoved, this, [&](InOut *io) {
            seen << QStringLiteral("-%1@%2").arg(io->description).arg(console->inouts.indexOf(io));
            removed << io;
        });
        connect(console.get(), &ProjectDevice::inOutInserted, this, [&](InOut *io) {
            seen << QStringLiteral("+%1@%2").arg(io->description).arg(console->inouts.indexOf(io));
        });

        console->setKeysCount(6);
        QCOMPARE(seen, QStringList({"-Кнопка 8@7", "-Кнопка 7@6"}));
        // Deleted at once: nothing can reach them after the announcement.
        QCOMPARE(removed.size(), 2);
        QVERIFY(removed.at(0).isNull() && removed.at(1).isNull());

        seen.clear();
        console->setKeysCount(8);
        QCOMPARE(seen, QStringList({"+Кнопка 7@6", "+Кнопка 8@7"}));
        QCOMPARE(console->inouts.size(), 12);
    }

    void setKeysCountOnDevicesWithoutButtons()
    {
        // No buttons: the new ones go after the first entry.
        std::unique_ptr<ProjectDevice> unit(makeDevice(DeviceType::Lumo4));
        unit->setKeysCount(2);
        QCOMPARE(descriptions(unit.get()).mid(0, 4),
                 QStringList({"4:Выход ЛО1:1", "7:Кнопка 1:2", "7:Кнопка 2:3", "4:Выход ЛО2:2"}));

        // An empty list gets its buttons appended.
        std::unique_ptr<ProjectDevice> media(makeDevice(DeviceType::Media));
        media->setKeysCount(2);
        QCOMPARE(descriptions(media.get()), QStringList({"7:Кнопка 1:1", "7:Кнопка 2:2"}));
    }

    void identifiers()
    {
        ProjectModel model;
        QCOMPARE(model.lastId, -1);
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);

        ProjectDevice *first = makeDevice(DeviceType::Horn, 10);
        QVERIFY(model.addDevice(nullptr, first));
        QCOMPARE(first->id_obj, 0);
        QCOMPARE(model.lastId, 0);
        QCOMPARE(first->parent(), &model);
        QVERIFY(model.modified);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changedNode(changes, 0), first);

        ProjectDevice *preset = makeDevice(DeviceType::Horn, 11);
        preset->id_obj = 5;
        ProjectGroup *group = model.addGroup();
        changes.clear();
        QVERIFY(model.addDevice(group, preset));
        QCOMPARE(preset->id_obj, 5);
        QCOMPARE(model.lastId, 0);
        QCOMPARE(preset->parent(), group);
        QCOMPARE(group->nodes, QList<QObject *> {preset});
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changedNode(changes, 0), group);
        QCOMPARE(changedNode(changes, 1), preset);

        // New identifiers go above every identifier in the tree, not only above lastId.
        group->id_obj = -1;
        QVERIFY(model.assignMissingIds());
        QCOMPARE(group->id_obj, 6);
        QCOMPARE(model.lastId, 6);

        // With the last identifier issued no device is added.
        model.lastId = std::numeric_limits<int>::max();
        ProjectDevice *late = makeDevice(DeviceType::Horn, 12);
        changes.clear();
        QVERIFY(!model.addDevice(nullptr, late));
        QCOMPARE(late->id_obj, -1);
        QCOMPARE(late->parent(), nullptr);
        QCOMPARE(changes.count(), 0);
        QVERIFY(!model.allDevices().contains(late));
        delete late;
    }

    void addGroup()
    {
        ProjectModel model;
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);

        ProjectGroup *top = model.addGroup(nullptr);
        QCOMPARE(top->name, "Новая группа устройств");
        QCOMPARE(top->parent(), &model);
        QCOMPARE(model.addGroup(&model)->name, "Новая группа устройств");
        QCOMPARE(changes.count(), 2);

        changes.clear();
        ProjectGroup *sub = model.addGroup(top);
        QCOMPARE(sub->name, "Новая подгруппа устройств");
        QCOMPARE(sub->parent(), top);
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changedNode(changes, 0), top);
        QCOMPARE(changedNode(changes, 1), sub);
        QCOMPARE(sub->groupPath(), "Новая группа устройств-->Новая подгруппа устройств");
        QCOMPARE(top->childGroups(), QList<ProjectGroup *> {sub});

        ProjectDevice *device = makeDevice(DeviceType::Horn);
        model.addDevice(sub, device);
        changes.clear();
        const int before = model.allNodes().size();
        QCOMPARE(model.addGroup(device), nullptr);
        QCOMPARE(model.allNodes().size(), before);
        QCOMPARE(changes.count(), 0);
    }

    void groupsNestUpToTheLimit()
    {
        ProjectModel model;
        ProjectGroup *deepest = model.addGroup();
        for (int depth = 2; depth <= ProjectModel::maxGroupDepth; ++depth) {
            deepest = model.addGroup(deepest);
            QVERIFY(deepest);
        }
        QCOMPARE(deepest->depth(), ProjectModel::maxGroupDepth);
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        QCOMPARE(model.addGroup(deepest), nullptr);
        QVERIFY(deepest->nodes.isEmpty());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(model.allGroups().size(), ProjectModel::maxGroupDepth);
    }

    void removeNodeDetachesRecursively()
    {
        ProjectModel model;
        ProjectGroup *top = model.addGroup();
        ProjectGroup *sub = model.addGroup(top);
        ProjectDevice *inner = makeDevice(DeviceType::Horn, 1);
        ProjectDevice *outer = makeDevice(DeviceType::Horn, 2);
        model.addDevice(sub, inner);
        model.addDevice(top, outer);
        model.modified = false;

        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        QVERIFY(model.removeNode(sub));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changedNode(changes, 0), top);
        QVERIFY(model.modified);
        QCOMPARE(sub->parent(), nullptr);
        QCOMPARE(inner->parent(), nullptr);
        QVERIFY(sub->nodes.isEmpty());
        QCOMPARE(top->nodes, QList<QObject *> {outer});
        QCOMPARE(model.allDevices(), QList<ProjectDevice *> {outer});
        // Detached nodes are the caller's to dispose of.
        delete sub;
        delete inner;

        changes.clear();
        QVERIFY(model.removeNode(top));
        QCOMPARE(changedNode(changes, 0), &model);
        QVERIFY(model.nodes.isEmpty());
        delete top;
        delete outer;
    }

    void moveDevice()
    {
        ProjectModel model;
        ProjectGroup *a = model.addGroup();
        ProjectGroup *b = model.addGroup();
        ProjectDevice *device = makeDevice(DeviceType::Horn);
        model.addDevice(nullptr, device);

        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        QVERIFY(model.moveDevice(a, device));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changedNode(changes, 0), device); // it was top-level
        QCOMPARE(changedNode(changes, 1), a);
        QCOMPARE(device->parentGroup(), a);
        QVERIFY(!model.nodes.contains(device));

        changes.clear();
        QVERIFY(model.moveDevice(b, device));
        QCOMPARE(changedNode(changes, 0), a);
        QCOMPARE(changedNode(changes, 1), b);
        QVERIFY(a->nodes.isEmpty());
        QCOMPARE(b->nodes, QList<QObject *> {device});
        QCOMPARE(device->projectModel(), &model);
    }

    void replaceDevice()
    {
        ProjectModel model;
        ProjectGroup *group = model.addGroup();
        ProjectDevice *first = makeDevice(DeviceType::Horn, 1);
        ProjectDevice *old = makeDevice(DeviceType::Horn, 2);
        ProjectDevice *last = makeDevice(DeviceType::Horn, 3);
        model.addDevice(group, first);
        model.addDevice(group, old);
        model.addDevice(group, last);

        ProjectDevice *replacement = makeDevice(DeviceType::Media, 4);
        QPointer<ProjectDevice> watch(old);
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        QVERIFY(model.replaceDevice(old, replacement));
        QCOMPARE(group->nodes, (QList<QObject *> {first, replacement, last}));
        QCOMPARE(replacement->parent(), group);
        QCOMPARE(changedNode(changes, 0), replacement);
        QCOMPARE(old->parent(), nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watch.isNull());

        ProjectDevice *stranger = makeDevice(DeviceType::Horn, 5);
        ProjectDevice *other = makeDevice(DeviceType::Horn, 6);
        QVERIFY(!model.replaceDevice(stranger, other));
        delete stranger;
        delete other;
    }

    void clearSchedulesDeletion()
    {
        ProjectModel model;
        ProjectGroup *group = model.addGroup();
        ProjectDevice *device = makeDevice(DeviceType::Horn);
        model.addDevice(group, device);
        QPointer<ProjectGroup> watchGroup(group);
        QPointer<ProjectDevice> watchDevice(device);
        model.modified = false;

        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        model.clear();
        QVERIFY(model.nodes.isEmpty());
        QVERIFY(model.modified);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changedNode(changes, 0), &model);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watchGroup.isNull());
        QVERIFY(watchDevice.isNull());
    }

    void queries()
    {
        ProjectModel model;
        ProjectGroup *a = model.addGroup();
        ProjectGroup *b = model.addGroup(a);
        ProjectDevice *d1 = makeDevice(DeviceType::Horn, 100);
        ProjectDevice *d2 = makeDevice(DeviceType::Horn, 200);
        ProjectDevice *d3 = makeDevice(DeviceType::Horn, 100);
        model.addDevice(b, d1);
        model.addDevice(a, d2);
        model.addDevice(nullptr, d3);

        QCOMPARE(model.allNodes(), (QList<QObject *> {a, b, d1, d2, d3}));
        QCOMPARE(model.allGroups(), (QList<ProjectGroup *> {a, b}));
        QCOMPARE(model.allDevices(), (QList<ProjectDevice *> {d1, d2, d3}));
        QCOMPARE(a->allDevices(), (QList<ProjectDevice *> {d1, d2}));
        QCOMPARE(model.findDeviceBySerial(100), d1);
        QCOMPARE(model.findDeviceBySerial(300), nullptr);
        QCOMPARE(model.findDeviceById(d3->id_obj), d3);
        QCOMPARE(model.findDeviceById(77), nullptr);
        // The lookup follows the tree: a device moved stays found, one removed is not
        // until it is back.
        model.moveDevice(a, d1);
        QCOMPARE(model.findDeviceById(d1->id_obj), d1);
        model.removeNode(d3);
        QCOMPARE(model.findDeviceById(d3->id_obj), nullptr);
        model.addDevice(nullptr, d3);
        QCOMPARE(model.findDeviceById(d3->id_obj), d3);

        d1->ip_addr = "127.0.0.2";
        d2->ip_addr = "127.0.0.2";
        d2->ip_enabled = true;
        QCOMPARE(model.findDeviceByIp("127.0.0.2"), d2);
        QCOMPARE(model.findDeviceByIp("127.0.0.20"), nullptr);

        d1->portFound = d2->portFound = true;
        QSignalSpy changes(&model, &ProjectModel::nodeChanged);
        model.resetPortFlags();
        QCOMPARE(changes.count(), 3);
        QVERIFY(!d1->portFound && !d2->portFound);
    }

    void deviceHelpers()
    {
        ProjectModel model;
        ProjectDevice *unit = makeDevice(DeviceType::Tovik2, 7);
        ProjectDevice *console = makeDevice(DeviceType::BexarTovik2, 8, 3);
        model.addDevice(nullptr, unit);
        model.addDevice(nullptr, console);

        QCOMPARE(unit->lineCount(), 8);
        QCOMPARE(unit->firstLineIndex(), 1);
        unit->inouts.at(2)->name = "Спортзал";
        QCOMPARE(unit->lineName(2), "Спортзал");
        QCOMPARE(unit->lineName(8), QString());
        QCOMPARE(unit->linkCount(), 0);
        QCOMPARE(console->firstLineIndex(), 4);

        console->inouts.at(0)->outlinks = {OutLink {unit->id_obj, {1, 2}},
                                           OutLink {unit->id_obj, {3}}};
        console->inouts.at(2)->outlinks = {OutLink {unit->id_obj, {4}}};
        QCOMPARE(console->linkCount(), 3);
        QCOMPARE(console->projectModel(), &model);
        QCOMPARE(console->parentGroup(), nullptr);

        // Never seen: not online.
        console->lastSeen = QDateTime();
        QVERIFY(!console->isOnline());
    }
};

QTEST_GUILESS_MAIN(TestProjectModel)
#include "tst_projectmodel.moc"
