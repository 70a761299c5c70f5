// The main window's editing commands: selection rules, adding, editing and removing
// groups and devices, device windows, the USB search hook and the key dialog.

#include "guitest.h"
#include "testutil.h"

#include "app/adddevicedialog.h"
#include "app/editkeydialog.h"
#include "app/editkeyitemwidget.h"
#include "app/fleetupdatedialog.h"
#include "app/mainwindow.h"
#include "app/projectlintdialog.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"
#include "project/devicetype.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simulator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace GuiTest;
using Kind = MainWindow::DeviceWindowKind;

namespace {

// Every window kind, with the object name its test window gets.
const QPair<Kind, const char *> kinds[] = {
    {Kind::CentralUnit, "central"},     {Kind::FourLineUnit, "fourline"},
    {Kind::Loudspeaker, "loudspeaker"}, {Kind::IpConsole, "ipconsole"},
    {Kind::MediaConverter, "media"},    {Kind::Firmware, "firmware"},
    {Kind::ProjectUpload, "upload"}};

// The simulated IP console of the tests that let a device answer.
const char consoleAddress[] = "127.0.41.2";

// True when every index of the tree leads to a group, device or channel of the project,
// and every device's rows are its channels.
bool treeMatchesProject(MainWindow *window)
{
    ProjectTreeModel *model = window->treeModel();
    QList<QObject *> alive = window->project()->allNodes();
    for (ProjectDevice *device : window->project()->allDevices()) {
        for (InOut *io : device->inouts)
            alive << io;
        if (model->rowCount(model->indexOf(device)) != device->inouts.size())
            return false;
    }
    for (const QModelIndex &index : allIndexes(model)) {
        if (!alive.contains(ProjectTreeModel::nodeOf(index)))
            return false;
    }
    return true;
}

// Selects a node in the tree and chooses an entry of its context menu.
bool chooseInMenu(MainWindow *window, QObject *node, const QString &text)
{
    window->treeView()->selectNode(node);
    std::unique_ptr<QMenu> menu(
        window->treeView()->createContextMenu(window->treeView()->currentIndex()));
    for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
        if (action->text() == text) {
            action->trigger();
            return true;
        }
    }
    return false;
}

struct SelectionRow {
    const char *name;
    bool monitoring, editing;
    const char *select;
    bool windows, parameters, setup, remove;
};

struct EditRow {
    const char *name;
    int serial;
    bool fromMenu;
    const char *bus, *tag, *group; // chosen in the dialog, when not empty
};

struct RemoveRow {
    const char *name;
    int serial;
    bool confirm;
    const char *title, *text;
    int devices;
};

struct PresenceRow {
    const char *name;
    int type;
    bool present, upload, firmware;
};

} // namespace

Q_DECLARE_METATYPE(SelectionRow)
Q_DECLARE_METATYPE(EditRow)
Q_DECLARE_METATYPE(RemoveRow)
Q_DECLARE_METATYPE(PresenceRow)

class TestMainWindowEdit : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        endPendingWatches();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->property("testWindow").toBool())
                delete widget;
        }
        m_statusServer.reset();
        m_simulator.reset();
        m_dir.reset();
    }

    void selectionRules_data()
    {
        const SelectionRow rows[] = {
            // name, monitoring, editing, select, windows, parameters, setup, remove
            {"editing, nothing", false, true, "", true, false, false, false},
            {"editing, device", false, true, "device", true, true, true, true},
            {"editing, device without window", false, true, "device", false, true, false, true},
            {"editing, console of type 6", false, true, "console", true, true, false, true},
            {"editing, group", false, true, "group", true, false, false, true},
            {"editing, input/output", false, true, "inout", true, false, false, false},
            {"polling, nothing", true, false, "", true, false, false, false},
            {"polling, device", true, false, "device", true, false, true, true},
            {"polling, group", true, false, "group", true, false, false, false},
            {"monitoring editing, device", true, true, "device", true, true, true, true},
            {"monitoring editing, group", true, true, "group", true, false, false, true},
        };
        TestUtil::addRows(rows);
    }

    void selectionRules()
    {
        QFETCH(SelectionRow, row);
        auto window = makeWindow(row.monitoring);
        if (row.windows)
            registerAllWindows(window.get());
        if (row.monitoring && row.editing)
            child<QRadioButton>(window.get(), "radioButtonEdit")->click();
        QCOMPARE(window->treeModel()->isEditing(), row.editing);
        QCOMPARE(enabled(window.get(), "pushButtonAddDevice"), row.editing);
        QCOMPARE(enabled(window.get(), "pushButtonAddGroup"), row.editing);

        ProjectModel *project = window->project();
        const QString select = row.select;
        ProjectDevice *device = project->findDeviceBySerial(select == "console" ? 102 : 100);
        QObject *node = select == "group" ? static_cast<QObject *>(project->allGroups().first())
            : select == "inout"           ? static_cast<QObject *>(device->inouts.first())
            : select.isEmpty()            ? nullptr
                                          : device;
        QSignalSpy changes(window->treeView()->selectionModel(),
                           &QItemSelectionModel::selectionChanged);
        if (node) {
            window->treeView()->selectNode(node);
            QCOMPARE(changes.count(), 1);
            QCOMPARE(window->treeView()->currentIndex(), window->treeModel()->indexOf(node));
        }
        QCOMPARE(enabled(window.get(), "pushButtonDeviceParameters"), row.parameters);
        QCOMPARE(enabled(window.get(), "pushButtonOpenSetupDevice"), row.setup);
        QCOMPARE(enabled(window.get(), "pushButtonRemoveDevice"), row.remove);

        // Clearing the selection turns the three buttons off again.
        window->treeView()->selectionModel()->clearSelection();
        for (const char *button :
             {"pushButtonDeviceParameters", "pushButtonOpenSetupDevice", "pushButtonRemoveDevice"})
            QVERIFY(!enabled(window.get(), button));
    }

    // "Добавить группу", then "Добавить подгруппу" from the group's menu; a group at the
    // depth limit gets no subgroup, and a message says why.
    void addGroupAndSubgroup()
    {
        ProjectModel deep(ProjectModel::Journals::None);
        ProjectGroup *chain = deep.addGroup();
        for (int depth = 2; depth <= ProjectModel::maxGroupDepth; ++depth)
            chain = deep.addGroup(chain);
        auto window = makeWindow(false, false, &deep);
        ProjectModel *project = window->project();
        child<QPushButton>(window.get(), "pushButtonAddGroup")->click();
        QCOMPARE(project->nodes.size(), 2);
        auto *group = qobject_cast<ProjectGroup *>(project->nodes.last());
        QVERIFY(group);
        QCOMPARE(group->name, "Новая группа устройств");
        QVERIFY(project->modified);
        QCOMPARE(window->treeModel()->rowCount(), 2);

        QVERIFY(chooseInMenu(window.get(), group, "Добавить подгруппу"));
        QCOMPARE(group->nodes.size(), 1);
        auto *subgroup = qobject_cast<ProjectGroup *>(group->nodes.first());
        QVERIFY(subgroup);
        QCOMPARE(subgroup->name, "Новая подгруппа устройств");
        QVERIFY(window->treeView()->isExpanded(window->treeModel()->indexOf(group)));

        ProjectGroup *deepest = project->allGroups().value(ProjectModel::maxGroupDepth - 1);
        QVERIFY(deepest && deepest->nodes.isEmpty());
        const int groups = project->allGroups().size();
        auto seen = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Ok, seen);
        QVERIFY(chooseInMenu(window.get(), deepest, "Добавить подгруппу"));
        QVERIFY(*answered);
        QCOMPARE(seen->title, "Ошибка");
        QVERIFY2(seen->text.contains(QString::number(ProjectModel::maxGroupDepth)),
                 qPrintable(seen->text));
        QCOMPARE(project->allGroups().size(), groups);
        QVERIFY(deepest->nodes.isEmpty());
    }

    void addConsoleThroughDialog()
    {
        auto window = makeWindow(false, false);
        window->project()->modified = false;
        auto seenTitle = std::make_shared<QString>();
        auto done = onNextModal<AddDeviceDialog>([seenTitle](AddDeviceDialog *dialog) {
            *seenTitle = dialog->windowTitle();
            chooseData(child<QComboBox>(dialog, "comboBoxDeviceType"), DeviceType::BexarTovik2);
            choose(child<QComboBox>(dialog, "comboBoxKeysCount"), "24");
            choose(child<QComboBox>(dialog, "comboBoxRs485Mode"), "Адрес 5");
            QTest::keyClicks(child<QLineEdit>(dialog, "lineEditSerialNumber"), "7");
            child<QLineEdit>(dialog, "lineEditDeviceTag")->setText("Пост");
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        child<QPushButton>(window.get(), "pushButtonAddDevice")->click();
        QVERIFY(*done);
        QCOMPARE(*seenTitle, "Добавить устройство в проект системы...");

        QCOMPARE(window->project()->nodes.size(), 1);
        auto *device = qobject_cast<ProjectDevice *>(window->project()->nodes.first());
        QVERIFY(device);
        QCOMPARE(device->type, int(DeviceType::BexarTovik2));
        QCOMPARE(device->serial, 17);
        QCOMPARE(device->keys_count, 24);
        QCOMPARE(device->buttonCount(), 24);
        QCOMPARE(device->tag, "Пост");
        QVERIFY(device->rs485_enabled);
        QCOMPARE(int(device->rs485_addr), 5);
        QVERIFY(!device->ip_enabled);
        QVERIFY(window->project()->modified);
        QCOMPARE(window->treeModel()->rowCount(), 1);
    }

    void addFromGroupMenu_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("preselected group") << "keep";
        QTest::newRow("no group chosen") << "none";
        QTest::newRow("cancelled") << "cancel";
    }

    void addFromGroupMenu()
    {
        QFETCH(QString, how);
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectGroup *b = project->allGroups().at(2);
        const int groupsBefore = project->nodes.size();
        const int lastId = project->lastId;

        auto preselected = std::make_shared<QString>();
        auto done = onNextModal<AddDeviceDialog>([how, preselected](AddDeviceDialog *dialog) {
            auto *groups = child<QComboBox>(dialog, "comboBoxGroup");
            *preselected = groups->currentText();
            if (how == "none")
                groups->setCurrentIndex(0);
            child<QLineEdit>(dialog, "lineEditSerialNumber")->setText("555");
            child<QPushButton>(dialog, how == "cancel" ? "pushButtonCansel" : "pushButtonAddDevice")
                ->click();
        });
        QVERIFY(chooseInMenu(window.get(), b, "Добавить устройство"));
        QVERIFY(*done);
        QCOMPARE(*preselected, "B");

        ProjectDevice *added = project->findDeviceBySerial(555);
        QCOMPARE(project->modified, how != "cancel");
        if (how == "cancel") {
            QVERIFY(!added);
            QCOMPARE(project->allDevices().size(), 6);
            return;
        }
        QVERIFY(added);
        QCOMPARE(added->type, int(DeviceType::Norda410x));
        // Every added device gets its identifier, which key links refer to.
        QCOMPARE(added->id_obj, lastId + 1);
        if (how == "keep") {
            QCOMPARE(added->parentGroup(), b);
            QCOMPARE(project->nodes.size(), groupsBefore);
        } else {
            QCOMPARE(project->nodes.size(), groupsBefore + 1);
            auto *created = qobject_cast<ProjectGroup *>(project->nodes.last());
            QVERIFY(created);
            QCOMPARE(created->name, "Новая группа устройств");
            QCOMPARE(added->parentGroup(), created);
            QCOMPARE(created->nodes, QList<QObject *>({added}));
        }
        QVERIFY(window->treeModel()->indexOf(added).isValid());
    }

    void editDevice_data()
    {
        const EditRow rows[] = {
            // name, serial, fromMenu, bus, tag, group
            {"extension unit", 101, false, "Блок расширения 4", "Подвал", "B"},
            {"to no group", 103, true, "", "", "Без группы"},
            {"no change", 104, false, "", "", ""},
        };
        TestUtil::addRows(rows);
    }

    // The window applies what the device dialog returns (the dialog's own form is checked in
    // tst_devicedialogs): the device keeps its identifier and stays selected, a device of
    // no group goes to the top level, and accepting without a change is no change.
    void editDevice()
    {
        QFETCH(EditRow, row);
        const QString bus = row.bus, tag = row.tag, group = row.group;
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectDevice *device = project->findDeviceBySerial(row.serial);
        const int id = device->id_obj, address = device->rs485_addr;
        const int buttons = device->buttonCount();
        const QString oldTag = device->tag, ip = device->ip_addr;
        ProjectGroup *target = device->parentGroup();
        window->treeView()->selectNode(device);
        auto done = onNextModal<AddDeviceDialog>([bus, tag, group](AddDeviceDialog *dialog) {
            if (!bus.isEmpty())
                choose(child<QComboBox>(dialog, "comboBoxRs485Mode"), bus);
            if (!tag.isEmpty())
                child<QLineEdit>(dialog, "lineEditDeviceTag")->setText(tag);
            if (!group.isEmpty())
                choose(child<QComboBox>(dialog, "comboBoxGroup"), group);
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        if (row.fromMenu)
            window->on_actionDeviceParamClick(window->treeView()->currentIndex());
        else
            child<QPushButton>(window.get(), "pushButtonDeviceParameters")->click();
        QVERIFY(*done);
        if (!group.isEmpty()) {
            target = nullptr;
            for (ProjectGroup *each : project->allGroups())
                target = each->name == group ? each : target;
        }
        QCOMPARE(device->parentGroup(), target);
        QCOMPARE(project->nodes.contains(device), !target);
        QCOMPARE(device->id_obj, id);
        QCOMPARE(int(device->rs485_addr), bus.isEmpty() ? address : 4);
        QCOMPARE(device->tag, tag.isEmpty() ? oldTag : tag);
        if (device->ip_enabled)
            QCOMPARE(device->ip_addr, ip);
        QCOMPARE(device->buttonCount(), buttons);
        QCOMPARE(project->modified, !group.isEmpty());
        QCOMPARE(window->treeView()->selectedDevice(), device);
        QVERIFY(treeMatchesProject(window.get()));
    }

    void remove_data()
    {
        static const char device[] =
            "Точно удалить устройство Блок NORDA-4200\nсерийный номер 100 ?";
        const RemoveRow rows[] = {
            // name, serial (0: the group "A", -1: nothing), confirm, title, text, devices left
            {"device", 100, true, "Удаление устройства", device, 5},
            {"device, cancelled", 100, false, "Удаление устройства", device, 6},
            {"group", 0, true, "Удаление группы", "Точно удалить группу A ?", 2},
            {"nothing selected", -1, true, "", "", 6},
        };
        TestUtil::addRows(rows);
    }

    // "Удалить" asks first, with "Отмена" as the default answer; what it removes is
    // disposed of with all it holds, not left behind without owner.
    void remove()
    {
        QFETCH(RemoveRow, row);
        auto window = makeWindow();
        ProjectModel *project = window->project();
        const bool removed = row.serial >= 0 && row.confirm;
        QObject *node = row.serial > 0
            ? static_cast<QObject *>(project->findDeviceBySerial(row.serial))
            : row.serial == 0 ? project->allGroups().first()
                              : nullptr;
        QList<QPointer<QObject>> doomed;
        if (auto *group = qobject_cast<ProjectGroup *>(node)) {
            for (QObject *each : group->allNodes())
                doomed << each;
            QCOMPARE(doomed.size(), 5);
        }
        if (node)
            doomed << node;
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(row.confirm ? QMessageBox::Yes : QMessageBox::Cancel, box);
        if (node) {
            window->treeView()->selectNode(node);
            child<QPushButton>(window.get(), "pushButtonRemoveDevice")->click();
        } else {
            window->on_pushButtonRemoveDevice_clicked();
        }
        QCOMPARE(*answered, node != nullptr);
        QCOMPARE(box->title, QString::fromUtf8(row.title));
        QCOMPARE(box->text, QString::fromUtf8(row.text));
        QCOMPARE(box->buttons.size(), node ? 2 : 0);
        // Enter keeps what there is: "Отмена" is the default answer.
        QCOMPARE(box->defaultButton, node ? QStringLiteral("Отмена") : QString());
        QCOMPARE(project->allDevices().size(), row.devices);
        QCOMPARE(project->modified, removed);
        QVERIFY(treeMatchesProject(window.get()));
        for (const QPointer<QObject> &each : qAsConst(doomed))
            QTRY_COMPARE(each.isNull(), removed);
        QCOMPARE(enabled(window.get(), "pushButtonRemoveDevice"), !removed && node);
    }

    void deviceWindows_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("window");
        const QPair<int, const char *> rows[] = {
            {1, "central"},   {4, "fourline"}, {7, "loudspeaker"},
            {8, "ipconsole"}, {9, "media"},    {137, "firmware"},
            {6, ""},          {0, ""}};
        for (const auto &row : rows)
            QTest::addRow("%d", row.first) << row.first << row.second;
    }

    void deviceWindows()
    {
        QFETCH(int, type);
        QFETCH(QString, window);

        auto main = makeWindow(false, false);
        ProjectDevice *device = makeDevice(type, 4242);
        main->project()->addDevice(nullptr, device);
        main->treeView()->selectNode(device);
        QVERIFY(!enabled(main.get(), "pushButtonOpenSetupDevice"));
        main->on_pushButtonOpenSetupDevice_clicked();
        QVERIFY(!QApplication::activeModalWidget());

        registerAllWindows(main.get());
        QCOMPARE(enabled(main.get(), "pushButtonOpenSetupDevice"), !window.isEmpty());
        main->on_pushButtonOpenSetupDevice_clicked();
        if (window.isEmpty()) {
            for (const auto &kind : kinds)
                QVERIFY(!openedWindow(kind.second));
            return;
        }
        QPointer<QWidget> opened = openedWindow(window);
        QVERIFY(opened);
        QCOMPARE(opened->property("serial").toInt(), 4242);
        QCOMPARE(opened->parentWidget(), main.get());
        QCOMPARE(opened->windowModality(), Qt::ApplicationModal);
        QVERIFY(opened->testAttribute(Qt::WA_DeleteOnClose));
        opened->close();
        QTRY_VERIFY(opened.isNull());

        // A double-click on the device row opens the same window.
        if (type == DeviceType::BexarTovik2)
            main->on_pultDoubleClick(main->treeView()->currentIndex());
        else
            main->on_blockDoubleClick(main->treeView()->currentIndex());
        opened = openedWindow(window);
        QVERIFY(opened);
        opened->close();
        QTRY_VERIFY(opened.isNull());
    }

    void uploadAndFirmwareNeedPresence_data()
    {
        const PresenceRow rows[] = {
            // name, type, present, upload, firmware
            {"central unit, absent", 3, false, false, false},
            {"central unit, present", 3, true, true, true},
            {"media, present", 9, true, false, true},
            {"loudspeaker, present", 7, true, false, false},
        };
        TestUtil::addRows(rows);
    }

    void uploadAndFirmwareNeedPresence()
    {
        QFETCH(PresenceRow, row);
        auto main = makeWindow(false, false);
        registerAllWindows(main.get());
        ProjectDevice *device = makeDevice(row.type, 9);
        device->netFound = row.present;
        main->project()->addDevice(nullptr, device);
        main->treeView()->selectNode(device);
        const QModelIndex index = main->treeView()->currentIndex();

        main->on_actionUploadToDev(index);
        QCOMPARE(openedWindow("upload") != nullptr, row.upload);
        delete openedWindow("upload");
        main->on_actionBootloaderDev(index);
        QCOMPARE(openedWindow("firmware") != nullptr, row.firmware);
        delete openedWindow("firmware");
        // The firmware update of any device from its menu has no condition.
        main->on_pendDeviceFlashing(index);
        QVERIFY(openedWindow("firmware"));
    }

    void usbSearch()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        window->treeView()->collapseAll();
        ProjectDevice *media = project->findDeviceBySerial(105);
        media->portFound = true;
        QPointer<ProjectDevice> knownCopy;
        QPointer<ProjectDevice> unknown;
        int calls = 0;
        window->setUsbDiscovery([&]() {
            ++calls;
            knownCopy = makeDevice(DeviceType::Horn, 103);
            unknown = makeDevice(DeviceType::Norda4200, 999);
            return QList<ProjectDevice *>({knownCopy, unknown});
        });
        QVERIFY(enabled(window.get(), "pushButtonSearchDevices"));
        child<QPushButton>(window.get(), "pushButtonSearchDevices")->click();
        QCOMPARE(calls, 1);

        // A known serial number only marks the project's device and shows its group.
        ProjectDevice *horn = project->findDeviceBySerial(103);
        QVERIFY(horn->portFound);
        QVERIFY(window->treeView()->isExpanded(window->treeModel()->indexOf(horn->parentGroup())));
        QTRY_VERIFY(knownCopy.isNull());
        // An unknown one is added at the top level.
        QVERIFY(unknown);
        QCOMPARE(unknown->parent(), project);
        QVERIFY(unknown->portFound);
        QVERIFY(unknown->id_obj >= 0);
        QCOMPARE(project->nodes.last(), unknown.data());
        QCOMPARE(project->allDevices().size(), 7);
        // Port flags of an earlier search are cleared first.
        QVERIFY(!media->portFound);
        // What it found is said, and which of it is new.
        QCOMPARE(window->statusBar()->currentMessage(),
                 QStringLiteral("Найдено устройств: 2. Новые: ") +
                     deviceTypeName(DeviceType::Norda4200) + QStringLiteral(" №999."));
    }

    void keyDialogFromTree()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectDevice *console = project->findDeviceBySerial(102);
        InOut *key = console->inouts.first();
        QCOMPARE(key->type, int(InOutType::Button));
        window->treeView()->selectNode(key);

        auto done = onNextModal<EditKeyDialog>([](EditKeyDialog *dialog) {
            child<QLineEdit>(dialog, "lineEditKeyName")->setText("Эвакуация");
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
            EditKeyItemWidget *row = dialog->rows().value(0);
            if (row && !row->outputBoxes().isEmpty())
                row->outputBoxes().first()->setChecked(true);
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        window->on_pultKeyDoubleClick(window->treeView()->currentIndex());
        QVERIFY(*done);
        QCOMPARE(key->name, "Эвакуация");
        ProjectDevice *first = project->findDeviceBySerial(100);
        QCOMPARE(key->outlinks.size(), 1);
        QCOMPARE(key->outlinks.first().id_obj, first->id_obj);
        QCOMPARE(key->outlinks.first().indexes, QList<int>({1}));
        QVERIFY(project->modified);
    }

    void consoleReplyChangesButtonsAtOnce_data()
    {
        QTest::addColumn<int>("keys");
        QTest::newRow("fewer buttons") << 4;
        QTest::newRow("more buttons") << 12;
    }

    void consoleReplyChangesButtonsAtOnce()
    {
        QFETCH(int, keys);
        auto window = makeConsoleWindow();
        QVERIFY(window);
        ProjectDevice *console = m_console;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->treeView()->selectNode(console->inouts.at(7));
        QVERIFY(!window->treeView()->grab().isNull());

        m_simConsole->keysCount = keys;
        const bool online = window->statusPoller()->isOnline(console);
        child<QPushButton>(window.get(), "pushButton")->click(); // "Поиск устройств LAN"
        QTRY_COMPARE_WITH_TIMEOUT(console->buttonCount(), keys, 10000);
        // The search says what answered: the console, new when it was not on the link.
        QTRY_COMPARE(window->statusBar()->currentMessage(),
                     online ? QStringLiteral("Найдено устройств: 1.")
                            : QStringLiteral("Найдено устройств: 1. Новые: ") +
                             deviceTypeName(console) + QStringLiteral(" №") +
                             QString::number(console->serial) + QLatin1Char('.'));

        // The rows follow at once, without any other change of the project.
        QVERIFY(!window->treeView()->grab().isNull());
        QVERIFY(treeMatchesProject(window.get()));
        const QModelIndex consoleIndex = window->treeModel()->indexOf(console);
        QVERIFY(window->treeView()->isExpanded(consoleIndex));
        const QModelIndex lastButton = window->treeModel()->index(keys - 1, 0, consoleIndex);
        QCOMPARE(qobject_cast<InOut *>(ProjectTreeModel::nodeOf(lastButton))->description,
                 QStringLiteral("Кнопка %1").arg(keys));
        QVERIFY(window->treeView()->visualRect(lastButton).isValid());
    }

    void keyDialogClosesWhenItsButtonGoes()
    {
        auto window = makeConsoleWindow();
        QVERIFY(window);
        ProjectDevice *console = m_console;
        QPointer<InOut> key = console->inouts.at(7);
        window->treeView()->selectNode(key);
        m_simConsole->keysCount = 4;

        auto closedByItself = std::make_shared<bool>(false);
        auto done = onNextModal<EditKeyDialog>([&window, closedByItself](EditKeyDialog *dialog) {
            QPointer<EditKeyDialog> open = dialog;
            child<QLineEdit>(dialog, "lineEditKeyName")->setText("Эвакуация");
            // The LAN search answers while the dialog is open.
            child<QPushButton>(window.get(), "pushButton")->click();
            *closedByItself = QTest::qWaitFor([&] { return !open || !open->isVisible(); }, 10000);
            // Had it stayed, the user would press OK on a button that is gone.
            if (open && open->isVisible())
                child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        window->on_pultKeyDoubleClick(window->treeView()->currentIndex());
        QVERIFY(*done);
        QVERIFY(*closedByItself);
        QVERIFY(key.isNull());
        QCOMPARE(console->buttonCount(), 4);
        for (const InOut *io : console->inouts)
            QVERIFY(io->name.isEmpty());
        QVERIFY(treeMatchesProject(window.get()));
        QVERIFY(!window->treeView()->grab().isNull());
    }

    // "Проверить проект" lists the findings; opening a project with errors offers them,
    // and a double-click on one selects its device.
    void projectCheck()
    {
        auto window = makeWindow();
        auto summary = std::make_shared<QString>();
        auto shown = onNextModal<ProjectLintDialog>([summary](ProjectLintDialog *dialog) {
            *summary = child<QLabel>(dialog, "labelSummary")->text();
            dialog->reject();
        });
        window->findChild<QAction *>("actionCheckProject")->trigger();
        QTRY_VERIFY(*shown);
        QCOMPARE(*summary, QStringLiteral("Проверка не нашла ошибок."));

        const QString bad = m_dir->filePath("bad.mpj");
        {
            ProjectModel project(ProjectModel::Journals::None);
            fillSample(&project);
            project.findDeviceBySerial(104)->serial = 103;
            QCOMPARE(project.save(bad), 0);
        }
        auto rows = std::make_shared<QStringList>();
        auto opened = acceptFileDialog(bad);
        auto asked = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QStringLiteral("Да"), asked);
        auto listed = onNextModal<ProjectLintDialog>([rows](ProjectLintDialog *dialog) {
            auto *tree = child<QTreeWidget>(dialog, "treeWidgetFindings");
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                *rows << tree->topLevelItem(i)->text(0) + '|' + tree->topLevelItem(i)->text(2);
            emit tree->itemDoubleClicked(tree->topLevelItem(0), 0);
            dialog->reject();
        });
        window->findChild<QAction *>("actionOpenProject")->trigger();
        QTRY_VERIFY(*opened && *answered && *listed);
        QCOMPARE(asked->text,
                 QStringLiteral("В проекте найдены ошибки (Ошибок: 1, предупреждений: 0). "
                                "Показать их?"));
        QCOMPARE(rows->size(), 1);
        QVERIFY2(rows->first().startsWith(QStringLiteral("Ошибка|тот же серийный номер")),
                 qPrintable(rows->first()));
        QCOMPARE(window->treeView()->selectedDevice(), window->project()->allDevices().at(4));
    }

    void fleetUpdateCommand_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<bool>("sample");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("configuration, devices") << false << true << true << true;
        QTest::newRow("configuration, no project") << false << false << true << false;
        QTest::newRow("monitoring") << true << true << false << false;
    }

    // "Обновить прошивку группы устройств..." is there in configuration mode, for a project
    // with devices, and opens the update on the devices that have Ethernet.
    void fleetUpdateCommand()
    {
        QFETCH(bool, monitoring);
        QFETCH(bool, sample);
        QFETCH(bool, visible);
        QFETCH(bool, enabled);
        auto window = makeWindow(monitoring, sample);
        auto *action = window->findChild<QAction *>("actionFleetUpdate");
        QVERIFY(action);
        QCOMPARE(action->isVisible(), visible);
        QCOMPARE(action->isEnabled(), enabled);
        if (!enabled)
            return;
        auto serials = std::make_shared<QStringList>();
        auto shown = onNextModal<FleetUpdateDialog>([serials](FleetUpdateDialog *dialog) {
            auto *table = child<QTableWidget>(dialog, "tableWidgetDevices");
            for (int row = 0; row < table->rowCount(); ++row)
                *serials << table->item(row, FleetUpdateDialog::Serial)->text();
            dialog->reject();
        });
        action->trigger();
        QVERIFY(*shown);
        QCOMPARE(*serials, (QStringList {"100", "103", "104"}));
    }

private:
    // A window on the sample project, or on `project`, or on none.
    std::unique_ptr<MainWindow> makeWindow(bool monitoring = false, bool sample = true,
                                           ProjectModel *project = nullptr, quint16 statusPort = 0)
    {
        ProjectModel fresh(ProjectModel::Journals::None);
        if (sample && !project)
            fillSample(project = &fresh);
        // The factory level, as the firmware commands need.
        QMap<QString, QString> values = {{"factory/fullaccess", "1"}};
        if (statusPort)
            values.insert("network/statusport", QString::number(statusPort));
        auto window = std::make_unique<MainWindow>(
            windowSettings(m_dir->path(), monitoring, project, values));
        window->treeView()->expandAll();
        return window;
    }

    // Configuration mode on a project with one IP console (serial 4100, 8 buttons, in
    // m_console) that a simulated console answers for; the tree is expanded.
    std::unique_ptr<MainWindow> makeConsoleWindow()
    {
        m_simulator = std::make_unique<Simulator>();
        m_simConsole = m_simulator->addDevice(QStringLiteral("ip_pult:4100@") + consoleAddress);
        if (!m_simConsole)
            return nullptr;
        m_statusServer = std::make_unique<SimStatusServer>(m_simulator.get(),
                                                           TestUtil::freePort(consoleAddress));
        if (!m_statusServer->start())
            return nullptr;
        ProjectModel project(ProjectModel::Journals::None);
        project.addDevice(namedGroup(&project, "Пульты"),
                          makeDevice(DeviceType::IpPult, 4100, false, 0, consoleAddress, 8));
        auto window = makeWindow(false, false, &project, m_statusServer->port());
        m_console = window->project()->findDeviceBySerial(4100);
        if (!m_console)
            return nullptr;
        return window;
    }

    void registerAllWindows(MainWindow *window)
    {
        for (const auto &kind : kinds) {
            const char *name = kind.second;
            window->setDeviceWindowFactory(
                kind.first, [name](ProjectDevice *device, const DeviceWindowContext &context) {
                    auto *widget = new QWidget(context.parent, Qt::Window);
                    widget->setObjectName(name);
                    widget->setProperty("serial", device->serial);
                    widget->setProperty("testWindow", true);
                    return widget;
                });
        }
    }

    QWidget *openedWindow(const QString &name) const
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible())
                return widget;
        }
        return nullptr;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<SimStatusServer> m_statusServer;
    SimDevice *m_simConsole = nullptr;
    ProjectDevice *m_console = nullptr;
};

NORDA_GUI_TEST_MAIN(TestMainWindowEdit)
#include "tst_mainwindowedit.moc"
