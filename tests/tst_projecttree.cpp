// The project tree: the item model over the project, the view's double-click and
// context-menu routing, and the delegate's row texts, lamp and colour choices.

#include "guitest.h"
#include "testutil.h"

#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"

#include <QLineEdit>
#include <QMenu>
#include <QtTest>

using namespace GuiTest;

namespace {

QObject *nodeAt(const QModelIndex &index)
{
    return ProjectTreeModel::nodeOf(index);
}

QString descriptionAt(const QModelIndex &index)
{
    auto *io = qobject_cast<InOut *>(nodeAt(index));
    return io ? io->description : QStringLiteral("?");
}

struct ClickRow {
    const char *name;
    int serial, inout;
    const char *signal;
};

struct MenuRow {
    const char *name;
    int serial;
    bool group, present, windows, polling;
    QStringList entries;
    QList<bool> enabled;
    QStringList emits;
};

struct BusRow {
    const char *name;
    int type;
    bool rs485;
    int address;
    const char *ip, *bus, *network;
};

struct LampRow {
    const char *name;
    bool ethernet, answered, monitoring;
    int silentSeconds;
    const char *lamp;
};

struct AlarmRow {
    const char *name;
    bool polling;
    int silentSeconds;
    bool fault, red;
};

} // namespace

Q_DECLARE_METATYPE(ClickRow)
Q_DECLARE_METATYPE(MenuRow)
Q_DECLARE_METATYPE(BusRow)
Q_DECLARE_METATYPE(LampRow)
Q_DECLARE_METATYPE(AlarmRow)

class TestProjectTree : public QObject {
    Q_OBJECT

private slots:
    // A caption with too little room shortens the type name; the serial number (and a
    // console's buttons) stays whole.
    void captionKeepsTheSerialNumber_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("cut");
        QTest::newRow("central unit, room enough")
            << int(DeviceType::Norda4200) << "(№4294967295)" << 0;
        QTest::newRow("central unit, half the room")
            << int(DeviceType::Norda4200) << "(№4294967295)" << 2;
        QTest::newRow("console, half the room")
            << int(DeviceType::IpPult) << "(№4294967295) - 12 кнопок" << 2;
    }

    void captionKeepsTheSerialNumber()
    {
        QFETCH(int, type);
        QFETCH(QString, kept);
        QFETCH(int, cut);
        std::unique_ptr<ProjectDevice> device(makeDevice(type, 0));
        device->serial = 4294967295u;
        device->keys_count = 12;
        const QString whole = ProjectItemDelegate::deviceCaptionText(device.get());
        const QFontMetrics metrics(QApplication::font());
        const int room =
            cut ? metrics.horizontalAdvance(whole) / cut : metrics.horizontalAdvance(whole);
        const QString shown = ProjectItemDelegate::fittedCaption(device.get(), metrics, room);
        QVERIFY2(shown.endsWith(kept), qPrintable(shown));
        QVERIFY2(metrics.horizontalAdvance(shown) <= room, qPrintable(shown));
        QCOMPARE(shown == whole, cut == 0);
    }

    void init()
    {
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
        m_project = std::make_unique<ProjectModel>();
        fillSample(m_project.get());
        m_project->modified = false;
        m_view = std::make_unique<ProjectTreeView>();
        m_model = std::make_unique<ProjectTreeModel>(m_project.get());
        m_view->setModel(m_model.get());
        m_view->resize(600, 900);
    }

    void cleanup()
    {
        m_view.reset();
        m_model.reset();
        m_project.reset();
    }

    void childrenInEditingAndPollingState()
    {
        ProjectTreeModel *model = m_model.get();
        QVERIFY(model->isEditing());
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->columnCount(), 1);
        ProjectGroup *a = m_project->allGroups().at(0);
        const QModelIndex aIndex = model->index(0, 0);
        QCOMPARE(nodeAt(aIndex), a);
        QCOMPARE(model->rowCount(aIndex), 4); // three devices, then the subgroup
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        const QModelIndex unitIndex = model->index(0, 0, aIndex);
        QCOMPARE(nodeAt(unitIndex), unit);
        QCOMPARE(model->rowCount(unitIndex), 23);
        const QModelIndex firstOutput = model->index(0, 0, unitIndex);
        QCOMPARE(nodeAt(firstOutput), unit->inouts.first());
        QCOMPARE(model->rowCount(firstOutput), 0);
        QCOMPARE(model->parent(firstOutput), unitIndex);
        QCOMPARE(model->parent(unitIndex), aIndex);
        QCOMPARE(model->parent(aIndex), QModelIndex());
        QVERIFY(!model->index(23, 0, unitIndex).isValid());
        QVERIFY(!model->index(0, 1, unitIndex).isValid());

        // Every index leads back to its parent: the model is consistent.
        for (const QModelIndex &index : allIndexes(model)) {
            const QModelIndex parent = model->parent(index);
            QCOMPARE(model->index(index.row(), 0, parent), index);
        }
        // Top level 3; in A three devices and A1; their channels 23 + 23 + 10; in A1 the
        // loudspeaker and its line; in B the console of type 8 and its 12 channels.
        QCOMPARE(allIndexes(model).size(), 3 + 4 + 23 + 23 + 10 + 1 + 1 + 1 + 12);

        QSignalSpy layouts(model, &QAbstractItemModel::layoutChanged);
        model->setEditing(false);
        QCOMPARE(layouts.count(), 1);
        QCOMPARE(model->rowCount(model->indexOf(unit)), 0);
        QCOMPARE(model->rowCount(model->indexOf(a)), 4);
        QVERIFY(!model->indexOf(unit->inouts.first()).isValid());
        QCOMPARE(allIndexes(model).size(), 3 + 4 + 1 + 1);
        model->setEditing(true);
        QCOMPARE(model->rowCount(model->indexOf(unit)), 23);
    }

    void dataAndFlags()
    {
        ProjectTreeModel *model = m_model.get();
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        const QModelIndex group = model->indexOf(m_project->allGroups().first());
        const QModelIndex device = model->indexOf(unit);
        const QModelIndex io = model->indexOf(unit->inouts.first());

        QVERIFY(model->data(group).value<ProjectGroup *>());
        QVERIFY(!model->data(group).value<ProjectDevice *>());
        QCOMPARE(model->data(device, Qt::EditRole).value<ProjectDevice *>(), unit);
        QCOMPARE(model->data(io).value<InOut *>(), unit->inouts.first());
        QVERIFY(!model->data(io).value<ProjectDevice *>());
        QVERIFY(!model->data(QModelIndex()).isValid());

        QVERIFY(model->flags(device) & Qt::ItemIsEditable);
        QVERIFY(model->flags(device) & Qt::ItemIsSelectable);
        QCOMPARE(model->flags(QModelIndex()), Qt::NoItemFlags);
    }

    void setDataAnnouncesAndMarksModified()
    {
        ProjectTreeModel *model = m_model.get();
        const QModelIndex group = model->indexOf(m_project->allGroups().first());
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QVERIFY(!model->setData(group, "x", Qt::DisplayRole));
        QCOMPARE(changed.count(), 0);
        QVERIFY(!m_project->modified);
        QVERIFY(model->setData(group, QVariant::fromValue(nodeAt(group)), Qt::EditRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex(), group);
        QCOMPARE(changed.first().at(1).toModelIndex(), group);
        QVERIFY(m_project->modified);
    }

    void statusChangeRepaintsRowAndGroups()
    {
        ProjectDevice *horn = m_project->findDeviceBySerial(103);
        ProjectGroup *a1 = horn->parentGroup();
        auto *a = qobject_cast<ProjectGroup *>(a1->parent());
        QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
        emit horn->statusChanged();
        // Announced once the loop comes round, the device before its groups.
        QCOMPARE(changed.count(), 0);
        QVERIFY(changed.wait(1000));
        QList<QModelIndex> rows;
        for (const QList<QVariant> &arguments : qAsConst(changed)) {
            QCOMPARE(arguments.at(1).toModelIndex(), arguments.at(0).toModelIndex());
            rows << arguments.at(0).toModelIndex();
        }
        QCOMPARE(rows,
                 QList<QModelIndex>(
                     {m_model->indexOf(horn), m_model->indexOf(a1), m_model->indexOf(a)}));

        // Changes in one round come as one span per parent: the first and third devices of
        // A and the device of its subgroup repaint A's rows 0 to 3 (the subgroup is row 3).
        changed.clear();
        emit m_project->findDeviceBySerial(100)->statusChanged();
        emit m_project->findDeviceBySerial(102)->statusChanged();
        emit horn->statusChanged();
        emit m_project->findDeviceBySerial(100)->statusChanged();
        QVERIFY(changed.wait(1000));
        QList<QPair<QModelIndex, QModelIndex>> spans;
        for (const QList<QVariant> &arguments : qAsConst(changed))
            spans.append({arguments.at(0).toModelIndex(), arguments.at(1).toModelIndex()});
        const QModelIndex aIndex = m_model->indexOf(a);
        QCOMPARE(spans,
                 (QList<QPair<QModelIndex, QModelIndex>>(
                     {{m_model->indexOf(horn), m_model->indexOf(horn)},
                      {m_model->index(0, 0, aIndex), m_model->index(3, 0, aIndex)},
                      {aIndex, aIndex}})));
        QCOMPARE(m_model->index(3, 0, aIndex), m_model->indexOf(a1));

        // A device taken out of the tree no longer reaches the model, also when it was
        // taken out after its change.
        emit horn->statusChanged();
        m_project->removeNode(horn);
        changed.clear();
        emit horn->statusChanged();
        QVERIFY(changed.wait(1000));
        for (const QList<QVariant> &arguments : qAsConst(changed))
            QVERIFY(arguments.at(0).toModelIndex() != m_model->indexOf(horn));
        QVERIFY(!m_model->indexOf(horn).isValid());
        delete horn;
    }

    void relayoutKeepsSelectionAndExpansion()
    {
        ProjectGroup *a = m_project->allGroups().at(0);
        ProjectDevice *extension = m_project->findDeviceBySerial(101);
        m_view->expand(m_model->indexOf(a));
        m_view->selectNode(extension);
        QCOMPARE(m_view->currentIndex().row(), 1);

        // The device before it goes: its row moves up, and stays the selected one.
        ProjectDevice *first = m_project->findDeviceBySerial(100);
        m_project->removeNode(first);
        delete first;
        QCOMPARE(m_view->selectedDevice(), extension);
        QCOMPARE(m_view->currentIndex().row(), 0);
        QVERIFY(m_view->isExpanded(m_model->indexOf(a)));

        // Another group added before nothing changes either.
        m_project->addGroup(nullptr);
        QCOMPARE(m_view->selectedDevice(), extension);
        QVERIFY(m_view->isExpanded(m_model->indexOf(a)));
    }

    void removedNodesAreNeverReached()
    {
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        ProjectGroup *a = m_project->allGroups().at(0);
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        m_view->expandAll();
        m_view->selectNode(unit->inouts.at(3));
        QPersistentModelIndex held = m_model->indexOf(unit->inouts.at(3));
        QPersistentModelIndex heldGroup = m_model->indexOf(a);

        // The whole group goes and is deleted at once: the view keeps working.
        const QList<QObject *> doomed = QList<QObject *>({a}) + a->allNodes();
        m_project->removeNode(a);
        qDeleteAll(doomed);
        QVERIFY(!held.isValid());
        QVERIFY(!heldGroup.isValid());
        QVERIFY(!m_view->selectedInOut());
        QVERIFY(!m_view->selectedDevice());
        QCOMPARE(m_model->rowCount(), 2);
        QVERIFY(!m_view->grab().isNull());
        QCOMPARE(allIndexes(m_model.get()).size(), 2 + 1 + 12);
    }

    void buttonChangesReachTheViewAtOnce_data()
    {
        QTest::addColumn<bool>("editing");
        QTest::addColumn<int>("keys");
        QTest::newRow("fewer buttons") << true << 4;
        QTest::newRow("more buttons") << true << 12;
        QTest::newRow("fewer buttons, polling state") << false << 4;
    }

    void buttonChangesReachTheViewAtOnce()
    {
        QFETCH(bool, editing);
        QFETCH(int, keys);
        m_model->setEditing(editing);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->expandAll();
        ProjectDevice *console = m_project->findDeviceBySerial(104);
        const QPersistentModelIndex consoleIndex = m_model->indexOf(console);
        m_view->selectNode(console->inouts.at(7));
        QVERIFY(!m_view->grab().isNull());

        // Each row goes while its channel still exists, and comes once it is listed.
        QStringList announced;
        connect(m_model.get(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [&](const QModelIndex &parent, int first, int last) {
                    for (int row = first; row <= last; ++row)
                        announced << "-" + descriptionAt(m_model->index(row, 0, parent));
                });
        connect(m_model.get(), &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex &parent, int first, int last) {
                    for (int row = first; row <= last; ++row)
                        announced << "+" + descriptionAt(m_model->index(row, 0, parent));
                });
        QSignalSpy layouts(m_model.get(), &QAbstractItemModel::layoutChanged);
        console->setKeysCount(keys);

        QCOMPARE(layouts.count(), 0);
        QCOMPARE(m_model->rowCount(consoleIndex), editing ? console->inouts.size() : 0);
        QStringList expected;
        if (editing && keys < 8) {
            for (int k = 8; k > keys; --k)
                expected << QStringLiteral("-Кнопка %1").arg(k);
        } else if (editing) {
            for (int k = 9; k <= keys; ++k)
                expected << QStringLiteral("+Кнопка %1").arg(k);
        }
        QCOMPARE(announced, expected);
        if (editing) {
            for (int row = 0; row < console->inouts.size(); ++row)
                QCOMPARE(nodeAt(m_model->index(row, 0, consoleIndex)), console->inouts.at(row));
        }
        // Every index leads to a node of the tree; painting and selection keep working.
        QList<QObject *> alive = m_project->allNodes();
        for (ProjectDevice *device : m_project->allDevices()) {
            for (InOut *io : device->inouts)
                alive << io;
        }
        for (const QModelIndex &index : allIndexes(m_model.get()))
            QVERIFY(alive.contains(nodeAt(index)));
        QVERIFY(!m_view->grab().isNull());
        QVERIFY(m_view->isExpanded(consoleIndex) || !editing);
        // The selected button may have gone: what is selected now is alive.
        if (QObject *selected = m_view->selectedInOut())
            QVERIFY(alive.contains(selected));
    }

    void doubleClickRouting_data()
    {
        // inout: -1 the device row itself, -2 its group
        const ClickRow rows[] = {
            {"group", 100, -2, "groupDoubleClick"},
            {"central unit", 100, -1, "deviceDoubleClick"},
            {"loudspeaker", 103, -1, "deviceDoubleClick"},
            {"console 8", 104, -1, "deviceDoubleClick"},
            {"console 6", 102, -1, "pultDoubleClick"},
            {"button of console 6", 102, 0, "pultKeyDoubleClick"},
            {"button of console 8", 104, 7, "pultKeyDoubleClick"},
            {"microphone of console 6", 102, 9, "inOutDoubleClick"},
            {"speaker of console 8", 104, 10, "inOutDoubleClick"},
            {"line output of central unit", 100, 2, "inOutDoubleClick"},
        };
        TestUtil::addRows(rows);
    }

    void doubleClickRouting()
    {
        QFETCH(ClickRow, row);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        ProjectDevice *device = m_project->findDeviceBySerial(row.serial);
        QObject *node = device;
        if (row.inout == -2)
            node = device->parentGroup();
        else if (row.inout >= 0)
            node = device->inouts.at(row.inout);
        m_view->expandNode(node);
        m_view->scrollTo(m_model->indexOf(node));
        const QModelIndex index = m_model->indexOf(node);
        const QRect rect = m_view->visualRect(index);
        QVERIFY(rect.isValid());

        const bool expanded = m_view->isExpanded(index);
        TestUtil::SignalSpies spies(m_view.get());
        // A double-click as the platform delivers it: a click, then the double-click event.
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(m_view->currentIndex(), index);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QCOMPARE(spies.emitted(), QStringList({row.signal}));
        QCOMPARE(spies[row.signal].first().at(0).toModelIndex(), index);
        // A double-click neither expands nor collapses, nor starts an editor.
        QCOMPARE(m_view->isExpanded(index), expanded);
        QVERIFY(!m_view->viewport()->findChild<QLineEdit *>());
    }

    void contextMenus_data()
    {
        const QStringList central {"Параметры", "Настройка", "Обновление встроенного ПО"};
        const QStringList centralSignals {"actionDeviceParam", "actionPendUploadToDev",
                                          "actionPendBootloaderDev"};
        const QStringList converterSignals {"actionDeviceParam", "actionOpenSettings",
                                            "actionPendBootloaderDev"};
        const QStringList other {"Параметры", "Обновление ПО"};
        const QStringList otherSignals {"actionDeviceParam", "actionPendDeviceFlashing"};
        const QStringList group {"Добавить устройство", "Добавить подгруппу"};
        const QStringList groupSignals {"actionAddDeviceToGroup", "actionAddSubgroupToGroup"};
        const MenuRow rows[] = {
            // name, serial, group, present, windows, polling, entries, enabled, emits
            {"central unit, present", 100, 0, 1, 1, 0, central, {1, 1, 1}, centralSignals},
            {"central unit, absent", 100, 0, 0, 1, 0, central, {1, 0, 0}, centralSignals},
            {"central unit, no windows", 100, 0, 1, 0, 0, central, {1, 0, 0}, centralSignals},
            {"central unit, polling", 100, 0, 1, 1, 1, central, {0, 1, 1}, centralSignals},
            {"media converter, present", 105, 0, 1, 1, 0, central, {1, 1, 1}, converterSignals},
            {"media converter, absent", 105, 0, 0, 1, 0, central, {1, 0, 0}, converterSignals},
            {"media converter, no windows", 105, 0, 1, 0, 0, central, {1, 0, 0}, converterSignals},
            {"loudspeaker", 103, 0, 0, 1, 0, other, {1, 1}, otherSignals},
            {"loudspeaker, no windows", 103, 0, 0, 0, 0, other, {1, 0}, otherSignals},
            {"console 6", 102, 0, 0, 1, 0, other, {1, 1}, otherSignals},
            {"group", 100, 1, 0, 1, 0, group, {1, 1}, groupSignals},
            {"group, polling", 100, 1, 0, 1, 1, group, {0, 0}, groupSignals},
        };
        TestUtil::addRows(rows);
    }

    void contextMenus()
    {
        QFETCH(MenuRow, row);
        ProjectDevice *device = m_project->findDeviceBySerial(row.serial);
        device->netFound = row.present;
        QObject *node = row.group ? static_cast<QObject *>(device->parentGroup()) : device;
        m_view->setProjectUploadAvailable(row.windows);
        m_view->setFirmwareUpdateAvailable(row.windows);
        m_view->setConverterSettingsAvailable(row.windows);
        m_view->projectDelegate()->setPolling(row.polling);
        m_view->selectNode(node);
        const QModelIndex index = m_view->currentIndex();

        std::unique_ptr<QMenu> menu(m_view->createContextMenu(index));
        QVERIFY(menu);
        QCOMPARE(menu->parent(), m_view.get());
        const QList<QAction *> actions = menu->actions();
        QStringList texts;
        QList<bool> states;
        for (QAction *action : actions) {
            texts << action->text();
            states << action->isEnabled();
            QCOMPARE(action->data().value<QObject *>(), node);
        }
        QCOMPARE(texts, row.entries);
        QCOMPARE(states, row.enabled);

        // Each entry emits its signal with the current index (disabled ones are triggered
        // directly here, to check where they lead).
        for (int i = 0; i < actions.size(); ++i) {
            TestUtil::SignalSpies spies(m_view.get());
            actions.at(i)->trigger();
            QCOMPARE(spies.emitted(), QStringList({row.emits.at(i)}));
            QCOMPARE(spies[qPrintable(row.emits.at(i))].first().at(0).toModelIndex(), index);
        }
    }

    void contextMenuAtPoint()
    {
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->expandAll();
        ProjectDevice *unit = m_project->findDeviceBySerial(100);

        // No menu on a channel row, nor below the last row.
        const QRect ioRect = m_view->visualRect(m_model->indexOf(unit->inouts.first()));
        m_view->onCustomContextMenu(ioRect.center());
        QVERIFY(!m_view->findChild<QMenu *>());
        m_view->collapseAll();
        m_view->onCustomContextMenu(QPoint(5, m_view->viewport()->height() - 2));
        QVERIFY(!m_view->findChild<QMenu *>());

        // On a device row the menu opens, and the row becomes the current one.
        const QRect rect = m_view->visualRect(m_model->indexOf(m_project->findDeviceBySerial(105)));
        m_view->onCustomContextMenu(rect.center());
        QMenu *menu = m_view->findChild<QMenu *>();
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(m_view->selectedDevice(), m_project->findDeviceBySerial(105));
        menu->close();
    }

    void expandAndSelectNode()
    {
        ProjectDevice *horn = m_project->findDeviceBySerial(103);
        ProjectGroup *a1 = horn->parentGroup();
        QCOMPARE(m_view->indexOfNode(horn), m_model->indexOf(horn));
        QVERIFY(!m_view->indexOfNode(nullptr).isValid());
        m_view->expandNode(a1);
        QVERIFY(m_view->isExpanded(m_model->indexOf(a1)));
        QVERIFY(m_view->isExpanded(m_model->indexOf(a1->parent())));
        m_view->collapseAll();
        m_view->selectNode(horn);
        QVERIFY(m_view->isExpanded(m_model->indexOf(a1)));
        QCOMPARE(m_view->selectedDevice(), horn);
        QVERIFY(!m_view->selectedGroup());
        QVERIFY(!m_view->selectedInOut());
        // A current row that is not selected does not count as a selection.
        m_view->selectionModel()->clearSelection();
        QVERIFY(!m_view->selectedDevice());
    }

    void busAndNetworkTexts_data()
    {
        const BusRow rows[] = {
            // name, type, rs485, address, ip, bus, network
            {"extension unit 3", 2, true, 3, "", "Блок расширения 3", ""},
            {"address 0 is the central unit", 2, true, 0, "", "Центральный блок", ""},
            {"kv510, both", 10, true, 9, "127.0.0.9", "Блок расширения 9",
             "Адрес Ethernet 127.0.0.9"},
            {"bus switched off", 3, false, 4, "", "", ""},
            {"console 6", 6, true, 5, "", "Адрес 5", ""},
            {"console 8 on the bus has no bus text", 8, true, 5, "", "", ""},
            {"loudspeaker", 7, false, 0, "127.0.0.3", "", "Адрес Ethernet 127.0.0.3"},
            {"media, nothing", 9, false, 0, "", "", ""},
        };
        TestUtil::addRows(rows);
    }

    void busAndNetworkTexts()
    {
        QFETCH(BusRow, row);
        std::unique_ptr<ProjectDevice> device(
            makeDevice(row.type, 1, row.rs485, row.address, row.ip));
        QCOMPARE(ProjectItemDelegate::busText(device.get()), row.bus);
        QCOMPARE(ProjectItemDelegate::networkText(device.get()), row.network);
        // An address kept while Ethernet is off is not shown.
        device->ip_enabled = false;
        device->ip_addr = "127.0.0.50";
        QCOMPARE(ProjectItemDelegate::networkText(device.get()), QString());
    }

    void lamp_data()
    {
        const char *const red = ":/images/buttons/Button-Blank-Red-icon.png";
        const char *const green = ":/images/buttons/Button-Blank-Green-icon.png";
        const LampRow rows[] = {
            // name, ethernet, answered, monitoring, silentSeconds, lamp
            {"no Ethernet, no lamp", false, true, false, 0, ""},
            {"never answered", true, false, false, 0, red},
            {"answered, configuration", true, true, false, 0, green},
            {"answered long ago, configuration", true, true, false, 60, green},
            {"answered, monitoring, online", true, true, true, 9, green},
            {"answered, monitoring, lost", true, true, true, 10, red},
            {"never answered, monitoring", true, false, true, 0, red},
        };
        TestUtil::addRows(rows);
    }

    void lamp()
    {
        QFETCH(LampRow, row);
        ProjectModel project;
        project.monitoring = row.monitoring;
        ProjectDevice *device =
            makeDevice(DeviceType::Horn, 1, false, 0, row.ethernet ? "127.0.0.7" : "");
        project.addDevice(nullptr, device);
        device->netFound = row.answered;
        device->lastSeen = QDateTime::currentDateTime().addSecs(-row.silentSeconds);
        QCOMPARE(ProjectItemDelegate::lampIconPath(device), row.lamp);
    }

    void captionAlarm_data()
    {
        const AlarmRow rows[] = {
            // name, polling, silentSeconds, fault, red
            {"polling, battery fault", true, 0, true, true},
            {"editing, battery fault", false, 0, true, false},
            {"polling, lost", true, 30, false, true},
            {"polling, healthy", true, 1, false, false},
            {"editing, lost", false, 30, false, false},
        };
        TestUtil::addRows(rows);
    }

    void captionAlarm()
    {
        QFETCH(AlarmRow, row);
        std::unique_ptr<ProjectDevice> device(makeDevice(DeviceType::Norda4200, 1));
        device->lastSeen = QDateTime::currentDateTime().addSecs(-row.silentSeconds);
        if (row.fault)
            device->faults.append(DeviceFault {DeviceFault::Battery, 0, 1, device.get()});
        QCOMPARE(ProjectItemDelegate::isCaptionAlarm(device.get(), row.polling), row.red);
    }

    void statusRepaintsWithoutMeasuring()
    {
        // Counts the rows the view measures and the times its viewport is painted.
        struct Counting : ProjectItemDelegate {
            using ProjectItemDelegate::ProjectItemDelegate;
            QSize sizeHint(const QStyleOptionViewItem &option,
                           const QModelIndex &index) const override
            {
                ++measured;
                return ProjectItemDelegate::sizeHint(option, index);
            }
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                paints += event->type() == QEvent::Paint ? 1 : 0;
                return ProjectItemDelegate::eventFilter(watched, event);
            }
            mutable int measured = 0;
            int paints = 0;
        };
        auto *delegate = new Counting(m_view.get());
        m_view->setItemDelegate(delegate);
        m_view->viewport()->installEventFilter(delegate);
        m_view->expandAll();
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        QTRY_VERIFY(delegate->paints > 0);

        // A status is drawn again, soon, without a row being measured again.
        delegate->measured = 0;
        delegate->paints = 0;
        for (ProjectDevice *device : m_project->allDevices())
            emit device->statusChanged();
        QTRY_VERIFY_WITH_TIMEOUT(delegate->paints > 0, 2000);
        QCOMPARE(delegate->measured, 0);

        // A new name may change a row's height: that row is measured again.
        ProjectGroup *a1 = m_project->allGroups().at(1);
        QVERIFY(m_model->setData(m_model->indexOf(a1), QVariant::fromValue<QObject *>(a1),
                                 Qt::EditRole));
        QVERIFY(delegate->measured > 0);
    }

    void groupRows()
    {
        ProjectGroup *a = m_project->allGroups().at(0);
        ProjectGroup *a1 = m_project->allGroups().at(1);
        QCOMPARE(ProjectItemDelegate::groupIconPath(a), ":/images/icons/city-icon.png");
        QCOMPARE(ProjectItemDelegate::groupIconPath(a1), ":/images/icons/group-icon.png");
        QCOMPARE(ProjectItemDelegate::groupCounterTexts(a), QStringList({"Всего устройств: 4"}));

        m_project->monitoring = true;
        const QDateTime now = QDateTime::currentDateTime();
        for (ProjectDevice *device : a->allDevices())
            device->lastSeen = now;
        m_project->findDeviceBySerial(100)->lastSeen = now.addSecs(-30);
        ProjectDevice *opened = m_project->findDeviceBySerial(101);
        opened->faults = {DeviceFault {DeviceFault::Line, 1, 2, opened},
                          DeviceFault {DeviceFault::Tamper, 0, 1, opened}};
        ProjectDevice *faulty = m_project->findDeviceBySerial(103);
        faulty->faults = {DeviceFault {DeviceFault::Mains, 0, 1, faulty}};
        QCOMPARE(ProjectItemDelegate::groupCounterTexts(a),
                 QStringList({"Всего устройств: 4", "Нет связи: 1", "Неисправных: 2", "НСД: 1"}));
        // A device that is not connected counts only there, whatever its last faults.
        m_project->findDeviceBySerial(100)->faults = opened->faults;
        const ProjectItemDelegate::GroupCounts counts = ProjectItemDelegate::groupCounts(a);
        QCOMPARE(counts.all, 4);
        QCOMPARE(counts.notConnected, 1);
        QCOMPARE(counts.faulty, 2);
        QCOMPARE(counts.tampered, 1);
        QCOMPARE(ProjectItemDelegate::groupCounterTexts(a1),
                 QStringList({"Всего устройств: 1", "Нет связи: 0", "Неисправных: 1", "НСД: 0"}));
    }

    void nameEditing()
    {
        ProjectItemDelegate *delegate = m_view->projectDelegate();
        ProjectGroup *group = m_project->allGroups().first();
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        InOut *io = unit->inouts.first();
        QStyleOptionViewItem option;

        // Devices are not renamed in place: they get no editor.
        QVERIFY(!delegate->createEditor(m_view->viewport(), option, m_model->indexOf(unit)));

        const QModelIndex groupIndex = m_model->indexOf(group);
        std::unique_ptr<QWidget> editor(
            delegate->createEditor(m_view->viewport(), option, groupIndex));
        auto *line = qobject_cast<QLineEdit *>(editor.get());
        QVERIFY(line);
        delegate->setEditorData(line, groupIndex);
        QCOMPARE(line->text(), "A");
        // Unmodified text commits nothing.
        QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
        delegate->setModelData(line, m_model.get(), groupIndex);
        QCOMPARE(changed.count(), 0);
        QVERIFY(!m_project->modified);
        // An emptied name is stored empty, and the prompt comes back in the editor.
        line->clear();
        line->setModified(true);
        delegate->setModelData(line, m_model.get(), groupIndex);
        QCOMPARE(group->name, QString());
        QCOMPARE(changed.count(), 1);
        QVERIFY(m_project->modified);
        delegate->setEditorData(line, groupIndex);
        QCOMPARE(line->text(), "Введите название для группы...");
        QVERIFY(line->placeholderText().isEmpty());

        const QModelIndex ioIndex = m_model->indexOf(io);
        delegate->setEditorData(line, ioIndex);
        QCOMPARE(line->text(), "Введите название...");
        line->setText("Холл");
        line->setModified(true);
        delegate->setModelData(line, m_model.get(), ioIndex);
        QCOMPARE(io->name, "Холл");
        delegate->setEditorData(line, ioIndex);
        QCOMPARE(line->text(), "Холл");
    }

private:
    std::unique_ptr<ProjectModel> m_project;
    std::unique_ptr<ProjectTreeView> m_view;
    std::unique_ptr<ProjectTreeModel> m_model;
};

NORDA_GUI_TEST_MAIN(TestProjectTree)
#include "tst_projecttree.moc"
