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

// Every index of the model, depth first.
QModelIndexList allIndexes(const QAbstractItemModel *model, const QModelIndex &parent = {})
{
    QModelIndexList list;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        list << index << allIndexes(model, index);
    }
    return list;
}

} // namespace

class TestProjectTree : public QObject {
    Q_OBJECT

private slots:
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
        QVERIFY(!model->data(device, Qt::ToolTipRole).isValid());
        QVERIFY(!model->data(device, Qt::DecorationRole).isValid());
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
        QVERIFY(!model->setData(group, QStringLiteral("x"), Qt::DisplayRole));
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
        QList<QModelIndex> rows;
        for (const QList<QVariant> &arguments : qAsConst(changed))
            rows << arguments.at(0).toModelIndex();
        QCOMPARE(rows,
                 QList<QModelIndex>(
                     {m_model->indexOf(horn), m_model->indexOf(a1), m_model->indexOf(a)}));

        // A device taken out of the tree no longer reaches the model.
        m_project->removeNode(horn);
        changed.clear();
        emit horn->statusChanged();
        QCOMPARE(changed.count(), 0);
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

    void viewSetup()
    {
        ProjectItemDelegate *delegate = m_view->projectDelegate();
        QCOMPARE(m_view->itemDelegate(), delegate);
        QCOMPARE(delegate->iconSize(), QSize(24, 24));
        QCOMPARE(delegate->margins(), QMargins(6, 6, 6, 6));
        QCOMPARE(delegate->spacing(), 6);
        QCOMPARE(delegate->lineGap(), 4);
        QVERIFY(!delegate->isPolling());
        ProjectItemDelegate plain;
        QCOMPARE(plain.iconSize(), QSize(12, 12));
        QCOMPARE(plain.margins(), QMargins(0, 0, 0, 0));
        QCOMPARE(plain.spacing(), 0);

        const QPalette palette = m_view->palette();
        for (QPalette::ColorGroup group :
             {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QCOMPARE(palette.color(group, QPalette::WindowText), QColor(0x303030));
            QCOMPARE(palette.color(group, QPalette::Base), QColor(0xF0F1F2));
            QCOMPARE(palette.color(group, QPalette::Light), QColor(0xFFFFFF));
            QCOMPARE(palette.color(group, QPalette::Midlight), QColor(0xD3D6D8));
            QCOMPARE(palette.color(group, QPalette::Mid), QColor(0xC5C9CB));
            QCOMPARE(palette.color(group, QPalette::Dark), QColor(0x9AA0A4));
            QCOMPARE(palette.color(group, QPalette::Text), QColor(0x616B71));
            QCOMPARE(palette.color(group, QPalette::Highlight), QColor(0xE2E4E5));
        }
        QCOMPARE(m_view->font().family(), QStringLiteral("MSShellDlg 2"));
        QCOMPARE(m_view->font().pointSize(), 10);
        QCOMPARE(m_view->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(m_view->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(m_view->isHeaderHidden());
        QCOMPARE(m_view->contextMenuPolicy(), Qt::CustomContextMenu);
    }

    void doubleClickRouting_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<int>("inout"); // -1: the device row itself, -2: its group
        QTest::addColumn<QString>("signal");

        QTest::newRow("group") << 100 << -2 << "groupDoubleClick";
        QTest::newRow("central unit") << 100 << -1 << "deviceDoubleClick";
        QTest::newRow("loudspeaker") << 103 << -1 << "deviceDoubleClick";
        QTest::newRow("console 8") << 104 << -1 << "deviceDoubleClick";
        QTest::newRow("console 6") << 102 << -1 << "pultDoubleClick";
        QTest::newRow("button of console 6") << 102 << 0 << "pultKeyDoubleClick";
        QTest::newRow("button of console 8") << 104 << 7 << "pultKeyDoubleClick";
        QTest::newRow("microphone of console 6") << 102 << 9 << "inOutDoubleClick";
        QTest::newRow("speaker of console 8") << 104 << 10 << "inOutDoubleClick";
        QTest::newRow("line output of central unit") << 100 << 2 << "inOutDoubleClick";
    }

    void doubleClickRouting()
    {
        QFETCH(int, serial);
        QFETCH(int, inout);
        QFETCH(QString, signal);

        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        ProjectDevice *device = m_project->findDeviceBySerial(serial);
        QObject *node = device;
        if (inout == -2)
            node = device->parentGroup();
        else if (inout >= 0)
            node = device->inouts.at(inout);
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
        QCOMPARE(spies.emitted(), QStringList({signal}));
        QCOMPARE(spies[qPrintable(signal)].first().at(0).toModelIndex(), index);
        // A double-click neither expands nor collapses, nor starts an editor.
        QCOMPARE(m_view->isExpanded(index), expanded);
        QVERIFY(!m_view->viewport()->findChild<QLineEdit *>());
    }

    void contextMenus_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<bool>("group");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<bool>("polling");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QList<bool>>("enabled");
        QTest::addColumn<QStringList>("emits");

        const QStringList central {"Параметры", "Настройка", "Обновление встроенного ПО"};
        const QStringList centralSignals {"actionDeviceParam", "actionPendUploadToDev",
                                          "actionPendBootloaderDev"};
        const QStringList other {"Параметры", "Обновление ПО"};
        const QStringList otherSignals {"actionDeviceParam", "actionPendDeviceFlashing"};
        const QStringList group {"Добавить устройство", "Добавить подгруппу"};
        const QStringList groupSignals {"actionAddDeviceToGroup", "actionAddSubgroupToGroup"};

        QTest::newRow("central unit, present") << 100 << false << true << true << false << central
                                               << QList<bool>({true, true, true}) << centralSignals;
        QTest::newRow("central unit, absent")
            << 100 << false << false << true << false << central
            << QList<bool>({true, false, false}) << centralSignals;
        QTest::newRow("central unit, no windows in this build")
            << 100 << false << true << false << false << central
            << QList<bool>({true, false, false}) << centralSignals;
        QTest::newRow("central unit, polling")
            << 100 << false << true << true << true << central << QList<bool>({false, true, true})
            << centralSignals;
        QTest::newRow("media converter, present")
            << 105 << false << true << true << false << central << QList<bool>({true, false, true})
            << centralSignals;
        QTest::newRow("loudspeaker") << 103 << false << false << true << false << other
                                     << QList<bool>({true, true}) << otherSignals;
        QTest::newRow("loudspeaker, no windows") << 103 << false << false << false << false << other
                                                 << QList<bool>({true, false}) << otherSignals;
        QTest::newRow("console 6") << 102 << false << false << true << false << other
                                   << QList<bool>({true, true}) << otherSignals;
        QTest::newRow("group") << 100 << true << false << true << false << group
                               << QList<bool>({true, true}) << groupSignals;
        QTest::newRow("group, polling") << 100 << true << false << true << true << group
                                        << QList<bool>({false, false}) << groupSignals;
    }

    void contextMenus()
    {
        QFETCH(int, serial);
        QFETCH(bool, group);
        QFETCH(bool, present);
        QFETCH(bool, windows);
        QFETCH(bool, polling);
        QFETCH(QStringList, entries);
        QFETCH(QList<bool>, enabled);
        QFETCH(QStringList, emits);

        ProjectDevice *device = m_project->findDeviceBySerial(serial);
        device->netFound = present;
        QObject *node = group ? static_cast<QObject *>(device->parentGroup()) : device;
        m_view->setProjectUploadAvailable(windows);
        m_view->setFirmwareUpdateAvailable(windows);
        m_view->projectDelegate()->setPolling(polling);
        m_view->selectNode(node);
        const QModelIndex index = m_view->currentIndex();

        QMenu *menu = m_view->createContextMenu(index);
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
        QCOMPARE(texts, entries);
        QCOMPARE(states, enabled);

        // Each entry emits its signal with the current index (disabled ones are triggered
        // directly here, to check where they lead).
        for (int i = 0; i < actions.size(); ++i) {
            TestUtil::SignalSpies spies(m_view.get());
            actions.at(i)->trigger();
            QCOMPARE(spies.emitted(), QStringList({emits.at(i)}));
            QCOMPARE(spies[qPrintable(emits.at(i))].first().at(0).toModelIndex(), index);
        }
        delete menu;
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

    void caption_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("serial");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("caption");

        QTest::newRow("console 8, 12 buttons")
            << 8 << 77 << 12 << "Пульт микрофонный NORDA-4300 (№77) - 12 кнопок";
        QTest::newRow("console 6, 24 buttons")
            << 6 << 5 << 24 << "Пульт микрофонный NORDA-4400 (№5) - 24 кнопок";
        QTest::newRow("central unit") << 3 << 1234 << -1 << "Блок NORDA-4200 (№1234)";
        QTest::newRow("loudspeaker")
            << 7 << 9 << -1 << "Оповещатель/Громкоговоритель NORDA исп.IP (№9)";
        QTest::newRow("unknown code") << 42 << 1 << -1 << "Неизвестное устройство (№1)";
    }

    void caption()
    {
        QFETCH(int, type);
        QFETCH(int, serial);
        QFETCH(int, keys);
        QFETCH(QString, caption);
        std::unique_ptr<ProjectDevice> device(makeDevice(type, serial, false, 0, QString(), keys));
        QCOMPARE(ProjectItemDelegate::deviceCaptionText(device.get()), caption);
    }

    void busAndNetworkTexts_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("rs485");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QString>("network");

        auto row = [](const char *name, int type, bool rs485, int address, const char *ip,
                      const char *bus, const char *network) {
            QTest::newRow(name) << type << rs485 << address << QString::fromLatin1(ip)
                                << QString::fromUtf8(bus) << QString::fromUtf8(network);
        };
        row("extension unit 3", 2, true, 3, "", "Блок расширения 3", "");
        row("address 0 is the central unit", 2, true, 0, "", "Центральный блок", "");
        row("kv510, both", 10, true, 9, "127.0.0.9", "Блок расширения 9",
            "Адрес Ethernet 127.0.0.9");
        row("bus switched off", 3, false, 4, "", "", "");
        row("console 6", 6, true, 5, "", "Адрес 5", "");
        row("console 8 on the bus has no bus text", 8, true, 5, "", "", "");
        row("loudspeaker", 7, false, 0, "127.0.0.3", "", "Адрес Ethernet 127.0.0.3");
        row("media, nothing", 9, false, 0, "", "", "");
    }

    void busAndNetworkTexts()
    {
        QFETCH(int, type);
        QFETCH(bool, rs485);
        QFETCH(int, address);
        QFETCH(QString, ip);
        QFETCH(QString, bus);
        QFETCH(QString, network);
        std::unique_ptr<ProjectDevice> device(makeDevice(type, 1, rs485, address, ip));
        QCOMPARE(ProjectItemDelegate::busText(device.get()), bus);
        QCOMPARE(ProjectItemDelegate::networkText(device.get()), network);
        // An address kept while Ethernet is off is not shown.
        device->ip_enabled = false;
        device->ip_addr = QStringLiteral("127.0.0.50");
        QCOMPARE(ProjectItemDelegate::networkText(device.get()), QString());
    }

    void lamp_data()
    {
        QTest::addColumn<bool>("ethernet");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<int>("silentSeconds");
        QTest::addColumn<QString>("lamp");

        const QString red = QStringLiteral(":/images/buttons/Button-Blank-Red-icon.png");
        const QString green = QStringLiteral(":/images/buttons/Button-Blank-Green-icon.png");
        QTest::newRow("no Ethernet, no lamp") << false << true << false << 0 << "";
        QTest::newRow("never answered") << true << false << false << 0 << red;
        QTest::newRow("answered, configuration") << true << true << false << 0 << green;
        QTest::newRow("answered long ago, configuration") << true << true << false << 60 << green;
        QTest::newRow("answered, monitoring, online") << true << true << true << 9 << green;
        QTest::newRow("answered, monitoring, lost") << true << true << true << 10 << red;
        QTest::newRow("never answered, monitoring") << true << false << true << 0 << red;
    }

    void lamp()
    {
        QFETCH(bool, ethernet);
        QFETCH(bool, answered);
        QFETCH(bool, monitoring);
        QFETCH(int, silentSeconds);
        QFETCH(QString, lamp);

        ProjectModel project;
        project.monitoring = monitoring;
        ProjectDevice *device =
            makeDevice(DeviceType::Horn, 1, false, 0, ethernet ? QStringLiteral("127.0.0.7") : "");
        project.addDevice(nullptr, device);
        device->netFound = answered;
        device->lastSeen = QDateTime::currentDateTime().addSecs(-silentSeconds);
        QCOMPARE(ProjectItemDelegate::lampIconPath(device), lamp);
        if (!lamp.isEmpty())
            QVERIFY(!QPixmap(lamp).isNull());
    }

    void captionAlarm_data()
    {
        QTest::addColumn<bool>("polling");
        QTest::addColumn<int>("silentSeconds");
        QTest::addColumn<bool>("fault");
        QTest::addColumn<bool>("red");

        QTest::newRow("polling, battery fault") << true << 0 << true << true;
        QTest::newRow("editing, battery fault") << false << 0 << true << false;
        QTest::newRow("polling, lost") << true << 30 << false << true;
        QTest::newRow("polling, healthy") << true << 1 << false << false;
        QTest::newRow("editing, lost") << false << 30 << false << false;
    }

    void captionAlarm()
    {
        QFETCH(bool, polling);
        QFETCH(int, silentSeconds);
        QFETCH(bool, fault);
        QFETCH(bool, red);
        std::unique_ptr<ProjectDevice> device(makeDevice(DeviceType::Norda4200, 1));
        device->lastSeen = QDateTime::currentDateTime().addSecs(-silentSeconds);
        if (fault)
            device->faults.append(DeviceFault {DeviceFault::Battery, 0, 1, device.get()});
        QCOMPARE(ProjectItemDelegate::isCaptionAlarm(device.get(), polling), red);
    }

    void inOutTextsAndIcons_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("icon");

        auto row = [](const char *name, int type, const char *ioName, const char *text,
                      const char *icon) {
            QTest::newRow(name) << type << QString::fromUtf8(ioName) << QString::fromUtf8(text)
                                << QString::fromLatin1(icon);
        };
        row("control input", 0, "", "Канал", "relay-in-icon.png");
        row("input, named", 1, "Пожар", "Пожар (Канал)", "relay-in-icon.png");
        row("control output", 2, "", "Канал", "relay-out-icon.png");
        row("relay output", 3, "", "Канал", "relay-out-icon.png");
        row("line output", 4, "Холл", "Холл (Канал)", "audio-out-icon.png");
        row("audio output", 5, "", "Канал", "audio-out-icon.png");
        row("audio input", 6, "", "Канал", "audio-in-icon.png");
        row("button", 7, "", "Канал", "pult-button-icon.png");
        row("microphone", 8, "", "Канал", "microphone-icon.png");
        row("other", 42, "", "Канал", "information.png");
    }

    void inOutTextsAndIcons()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, icon);
        InOut io(type, QStringLiteral("Канал"), 1);
        io.name = name;
        QCOMPARE(ProjectItemDelegate::inOutText(&io), text);
        QCOMPARE(ProjectItemDelegate::inOutIconPath(type),
                 QStringLiteral(":/images/icons/") + icon);
        QVERIFY(!QPixmap(ProjectItemDelegate::inOutIconPath(type)).isNull());
    }

    void groupRows()
    {
        ProjectGroup *a = m_project->allGroups().at(0);
        ProjectGroup *a1 = m_project->allGroups().at(1);
        QCOMPARE(ProjectItemDelegate::groupIconPath(a),
                 QStringLiteral(":/images/icons/city-icon.png"));
        QCOMPARE(ProjectItemDelegate::groupIconPath(a1),
                 QStringLiteral(":/images/icons/group-icon.png"));
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
        QCOMPARE(line->text(), QStringLiteral("A"));
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
        QCOMPARE(line->text(), QStringLiteral("Введите название для группы..."));
        QVERIFY(line->placeholderText().isEmpty());

        const QModelIndex ioIndex = m_model->indexOf(io);
        delegate->setEditorData(line, ioIndex);
        QCOMPARE(line->text(), QStringLiteral("Введите название..."));
        line->setText(QStringLiteral("Холл"));
        line->setModified(true);
        delegate->setModelData(line, m_model.get(), ioIndex);
        QCOMPARE(io->name, QStringLiteral("Холл"));
        delegate->setEditorData(line, ioIndex);
        QCOMPARE(line->text(), QStringLiteral("Холл"));

        QStyleOptionViewItem placed;
        placed.rect = QRect(3, 40, 300, 36);
        delegate->updateEditorGeometry(line, placed, ioIndex);
        QCOMPARE(line->geometry(), placed.rect);
    }

    void sizeHints()
    {
        ProjectItemDelegate *delegate = m_view->projectDelegate();
        QStyleOptionViewItem option;
        option.initFrom(m_view.get());
        option.rect = QRect(0, 0, 480, 10);
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        const QFontMetrics metrics(option.font);

        // A single-line row is at least the icon high, plus the margins.
        const QSize plain = delegate->sizeHint(option, m_model->indexOf(unit));
        QCOMPARE(plain.width(), 480);
        QCOMPARE(
            plain.height(),
            6 + 6 +
                qMax(24,
                     metrics.boundingRect(ProjectItemDelegate::deviceCaptionText(unit)).height() +
                         1));
        unit->tag = QStringLiteral("Диспетчерская");
        const QSize tagged = delegate->sizeHint(option, m_model->indexOf(unit));
        const int twoLines =
            metrics.boundingRect(ProjectItemDelegate::deviceCaptionText(unit)).height() +
            metrics.boundingRect(unit->tag).height() + 2;
        QCOMPARE(tagged.height(), 12 + qMax(24, twoLines));
        QVERIFY(
            delegate->sizeHint(option, m_model->indexOf(m_project->allGroups().first())).height() >=
            plain.height());
    }

private:
    std::unique_ptr<ProjectModel> m_project;
    std::unique_ptr<ProjectTreeView> m_view;
    std::unique_ptr<ProjectTreeModel> m_model;
};

QTEST_MAIN(TestProjectTree)
#include "tst_projecttree.moc"
