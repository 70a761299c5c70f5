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
#include <QSettings>
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

// Every index of a model, depth first.
QModelIndexList allIndexes(const QAbstractItemModel *model, const QModelIndex &parent = {})
{
    QModelIndexList list;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        list << index << allIndexes(model, index);
    }
    return list;
}

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

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

struct SelectionRow {
    const char *name;
    bool monitoring, editing;
    const char *select;
    bool windows, parameters, setup, remove;
};

struct PresenceRow {
    const char *name;
    int type;
    bool present, upload, firmware;
};

} // namespace

Q_DECLARE_METATYPE(SelectionRow)
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
        m_simConsole = nullptr;
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
        QObject *node = nullptr;
        if (select == "device" || select == "inout")
            node = project->findDeviceBySerial(100);
        else if (select == "console")
            node = project->findDeviceBySerial(102);
        else if (select == "group")
            node = project->allGroups().first();
        if (select == "inout")
            node = project->findDeviceBySerial(100)->inouts.first();
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

    void addGroupAndSubgroup()
    {
        auto window = makeWindow(false, false);
        QSignalSpy changes(window->project(), &ProjectModel::nodeChanged);
        child<QPushButton>(window.get(), "pushButtonAddGroup")->click();
        QCOMPARE(window->project()->nodes.size(), 1);
        auto *group = qobject_cast<ProjectGroup *>(window->project()->nodes.first());
        QVERIFY(group);
        QCOMPARE(group->name, "Новая группа устройств");
        QVERIFY(window->project()->modified);
        QVERIFY(changes.count() >= 1);
        QCOMPARE(window->treeModel()->rowCount(), 1);

        window->treeView()->selectNode(group);
        QMenu *menu = window->treeView()->createContextMenu(window->treeView()->currentIndex());
        QVERIFY(menu);
        menuAction(menu, "Добавить подгруппу")->trigger();
        delete menu;
        QCOMPARE(group->nodes.size(), 1);
        auto *subgroup = qobject_cast<ProjectGroup *>(group->nodes.first());
        QVERIFY(subgroup);
        QCOMPARE(subgroup->name, "Новая подгруппа устройств");
        QVERIFY(window->treeView()->isExpanded(window->treeModel()->indexOf(group)));
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
        QCOMPARE(device->parent(), window->project());
        QCOMPARE(device->type, int(DeviceType::BexarTovik2));
        QCOMPARE(device->serial, 17);
        QCOMPARE(device->keys_count, 24);
        QCOMPARE(device->buttonCount(), 24);
        QCOMPARE(device->inouts.size(), 26);
        QCOMPARE(device->tag, "Пост");
        QVERIFY(device->rs485_enabled);
        QCOMPARE(int(device->rs485_addr), 5);
        QVERIFY(!device->ip_enabled);
        QVERIFY(device->id_obj >= 0);
        QVERIFY(window->project()->modified);
        QCOMPARE(window->treeModel()->rowCount(), 1);
    }

    void addFromGroupMenu_data()
    {
        QTest::addColumn<bool>("keepGroup");
        QTest::newRow("preselected group") << true;
        QTest::newRow("no group chosen") << false;
    }

    void addFromGroupMenu()
    {
        QFETCH(bool, keepGroup);
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectGroup *b = project->allGroups().at(2);
        QCOMPARE(b->name, "B");
        const int groupsBefore = project->nodes.size();
        const int lastId = project->lastId;

        window->treeView()->selectNode(b);
        QMenu *menu = window->treeView()->createContextMenu(window->treeView()->currentIndex());
        QVERIFY(menu);
        auto preselected = std::make_shared<QString>();
        auto done = onNextModal<AddDeviceDialog>([keepGroup, preselected](AddDeviceDialog *dialog) {
            auto *groups = child<QComboBox>(dialog, "comboBoxGroup");
            *preselected = groups->currentText();
            if (!keepGroup)
                groups->setCurrentIndex(0);
            child<QLineEdit>(dialog, "lineEditSerialNumber")->setText("555");
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        menuAction(menu, "Добавить устройство")->trigger();
        delete menu;
        QVERIFY(*done);
        QCOMPARE(*preselected, "B");

        ProjectDevice *added = project->findDeviceBySerial(555);
        QVERIFY(added);
        QCOMPARE(added->type, int(DeviceType::Norda410x));
        // Every added device gets its identifier, which key links refer to.
        QCOMPARE(added->id_obj, lastId + 1);
        if (keepGroup) {
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

    void addCancelledChangesNothing()
    {
        auto window = makeWindow();
        const int before = window->project()->allDevices().size();
        auto done = onNextModal<AddDeviceDialog>([](AddDeviceDialog *dialog) {
            child<QPushButton>(dialog, "pushButtonCansel")->click();
        });
        child<QPushButton>(window.get(), "pushButtonAddDevice")->click();
        QVERIFY(*done);
        QCOMPARE(window->project()->allDevices().size(), before);
        QVERIFY(!window->project()->modified);
    }

    void editExtensionUnit()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectDevice *unit = project->findDeviceBySerial(101);
        ProjectGroup *b = project->allGroups().at(2);
        window->treeView()->selectNode(unit);

        // The dialog's own form (type box disabled, bus address preselected) is checked in
        // tst_devicedialogs; here the window applies what the dialog returns.
        auto done = onNextModal<AddDeviceDialog>([](AddDeviceDialog *dialog) {
            choose(child<QComboBox>(dialog, "comboBoxRs485Mode"), "Блок расширения 4");
            child<QLineEdit>(dialog, "lineEditDeviceTag")->setText("Подвал");
            choose(child<QComboBox>(dialog, "comboBoxGroup"), "B");
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        child<QPushButton>(window.get(), "pushButtonDeviceParameters")->click();
        QVERIFY(*done);

        QCOMPARE(unit->type, int(DeviceType::Norda410x));
        QCOMPARE(int(unit->rs485_addr), 4);
        QCOMPARE(unit->tag, "Подвал");
        QCOMPARE(unit->parentGroup(), b);
        QVERIFY(project->modified);
        // The edited device stays the selected one.
        QCOMPARE(window->treeView()->selectedDevice(), unit);
    }

    void editToNoGroupMovesToTopLevel()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectDevice *horn = project->findDeviceBySerial(103);
        const int id = horn->id_obj;
        window->treeView()->selectNode(horn);
        auto done = onNextModal<AddDeviceDialog>([](AddDeviceDialog *dialog) {
            child<QComboBox>(dialog, "comboBoxGroup")->setCurrentIndex(0);
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        window->on_actionDeviceParamClick(window->treeView()->currentIndex());
        QVERIFY(*done);
        QCOMPARE(horn->parent(), project);
        QVERIFY(project->nodes.contains(horn));
        QVERIFY(!project->allGroups().at(1)->nodes.contains(horn));
        QCOMPARE(horn->id_obj, id);
        QVERIFY(project->modified);
    }

    void editWithoutChangesKeepsProjectUnmodified()
    {
        auto window = makeWindow();
        ProjectDevice *console = window->project()->findDeviceBySerial(104);
        window->treeView()->selectNode(console);
        auto done = onNextModal<AddDeviceDialog>([](AddDeviceDialog *dialog) {
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
        });
        child<QPushButton>(window.get(), "pushButtonDeviceParameters")->click();
        QVERIFY(*done);
        QVERIFY(!window->project()->modified);
        QCOMPARE(console->buttonCount(), 8);
        QCOMPARE(console->ip_addr, "127.0.0.4");
    }

    void removeDevice_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("yes") << true;
        QTest::newRow("cancel") << false;
    }

    void removeDevice()
    {
        QFETCH(bool, confirm);
        auto window = makeWindow();
        ProjectModel *project = window->project();
        QPointer<ProjectDevice> unit = project->findDeviceBySerial(100);
        window->treeView()->selectNode(unit);
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(confirm ? QMessageBox::Yes : QMessageBox::Cancel, box);
        child<QPushButton>(window.get(), "pushButtonRemoveDevice")->click();
        QVERIFY(*answered);
        QCOMPARE(box->title, "Удаление устройства");
        QCOMPARE(box->text, "Точно удалить устройство Блок NORDA-4200\nсерийный номер 100 ?");
        QCOMPARE(box->buttons.size(), 2);
        if (!confirm) {
            QVERIFY(unit);
            QCOMPARE(project->allDevices().size(), 6);
            QVERIFY(!project->modified);
            return;
        }
        QCOMPARE(project->allDevices().size(), 5);
        QVERIFY(!project->findDeviceBySerial(100));
        QVERIFY(project->modified);
        // The removed device is disposed of, not left behind without owner.
        QTRY_VERIFY(unit.isNull());
        QVERIFY(!enabled(window.get(), "pushButtonRemoveDevice"));
    }

    void removeGroupDisposesOfItsContents()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectGroup *a = project->allGroups().first();
        QList<QPointer<QObject>> contents;
        for (QObject *node : a->allNodes())
            contents << node;
        QCOMPARE(contents.size(), 5);
        QPointer<ProjectGroup> group = a;
        window->treeView()->selectNode(a);
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Yes, box);
        child<QPushButton>(window.get(), "pushButtonRemoveDevice")->click();
        QVERIFY(*answered);
        QCOMPARE(box->title, "Удаление группы");
        QCOMPARE(box->text, "Точно удалить группу A ?");
        QCOMPARE(project->allDevices().size(), 2);
        QCOMPARE(window->treeModel()->rowCount(), 2);
        QTRY_VERIFY(group.isNull());
        for (const QPointer<QObject> &node : contents)
            QTRY_VERIFY(node.isNull());
    }

    void removeWithNothingSelected()
    {
        auto window = makeWindow();
        auto answered = answerMessageBox(QMessageBox::Yes);
        window->on_pushButtonRemoveDevice_clicked();
        QVERIFY(!*answered);
        QCOMPARE(window->project()->allDevices().size(), 6);
    }

    void deviceWindows_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("window");

        QTest::newRow("1") << 1 << "central";
        QTest::newRow("2") << 2 << "central";
        QTest::newRow("3") << 3 << "central";
        QTest::newRow("10") << 10 << "central";
        QTest::newRow("4") << 4 << "fourline";
        QTest::newRow("7") << 7 << "loudspeaker";
        QTest::newRow("8") << 8 << "ipconsole";
        QTest::newRow("9") << 9 << "media";
        QTest::newRow("137") << 137 << "firmware";
        QTest::newRow("255") << 255 << "firmware";
        QTest::newRow("6 has none") << 6 << "";
        QTest::newRow("0 has none") << 0 << "";
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
        // The window's own discovery: the tests present no serial ports, so nothing is found.
        QVERIFY(enabled(window.get(), "pushButtonSearchDevices"));
        window->on_pushButtonSearchDevices_clicked();
        QCOMPARE(project->allDevices().size(), 6);

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
    }

    void keyDialogFromTree()
    {
        auto window = makeWindow();
        ProjectModel *project = window->project();
        ProjectDevice *console = project->findDeviceBySerial(102);
        InOut *key = console->inouts.first();
        QCOMPARE(key->type, int(InOutType::Button));
        window->treeView()->selectNode(key);

        auto title = std::make_shared<QString>();
        auto done = onNextModal<EditKeyDialog>([title](EditKeyDialog *dialog) {
            *title = dialog->windowTitle();
            child<QLineEdit>(dialog, "lineEditKeyName")->setText("Эвакуация");
            child<QPushButton>(dialog, "pushButtonAddDevice")->click();
            EditKeyItemWidget *row = dialog->rows().value(0);
            if (row && !row->outputBoxes().isEmpty())
                row->outputBoxes().first()->setChecked(true);
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        window->on_pultKeyDoubleClick(window->treeView()->currentIndex());
        QVERIFY(*done);
        QCOMPARE(*title, "Настройка кнопки Кнопка 1");
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
        ProjectDevice *console = window->project()->findDeviceBySerial(4100);
        QVERIFY(console);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->treeView()->selectNode(console->inouts.at(7));
        QVERIFY(!window->treeView()->grab().isNull());

        m_simConsole->keysCount = keys;
        child<QPushButton>(window.get(), "pushButton")->click(); // "Поиск устройств LAN"
        QTRY_COMPARE_WITH_TIMEOUT(console->buttonCount(), keys, 10000);

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
        ProjectDevice *console = window->project()->findDeviceBySerial(4100);
        QVERIFY(console);
        QPointer<InOut> key = console->inouts.at(7);
        QCOMPARE(key->description, "Кнопка 8");
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

    void subgroupRefusedAtTheDepthLimit()
    {
        const QString projectPath = m_dir->filePath("deep.mpj");
        {
            ProjectModel project(ProjectModel::Journals::None);
            ProjectGroup *deepest = project.addGroup();
            for (int depth = 2; depth <= ProjectModel::maxGroupDepth; ++depth)
                deepest = project.addGroup(deepest);
            QCOMPARE(project.save(projectPath), 0);
        }
        auto window = makeWindow(false, false, projectPath);
        ProjectGroup *deepest =
            window->project()->allGroups().value(ProjectModel::maxGroupDepth - 1);
        QVERIFY(deepest);
        window->treeView()->selectNode(deepest);
        const int groups = window->project()->allGroups().size();

        auto seen = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Ok, seen);
        QMenu *menu = window->treeView()->createContextMenu(window->treeView()->currentIndex());
        QVERIFY(menu);
        menuAction(menu, "Добавить подгруппу")->trigger();
        delete menu;
        QVERIFY(*answered);
        QCOMPARE(seen->title, "Ошибка");
        QVERIFY2(seen->text.contains(QString::number(ProjectModel::maxGroupDepth)),
                 qPrintable(seen->text));
        QCOMPARE(window->project()->allGroups().size(), groups);
        QVERIFY(deepest->nodes.isEmpty());
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

    void searchResultIsSelected()
    {
        auto window = makeWindow();
        registerAllWindows(window.get());
        window->treeView()->collapseAll();
        ProjectDevice *horn = window->project()->findDeviceBySerial(103);
        window->on_searchDeviceSelected(horn);
        ProjectGroup *a1 = horn->parentGroup();
        QVERIFY(window->treeView()->isExpanded(window->treeModel()->indexOf(a1)));
        QVERIFY(window->treeView()->isExpanded(window->treeModel()->indexOf(a1->parent())));
        QCOMPARE(window->treeView()->selectedDevice(), horn);
        QVERIFY(enabled(window.get(), "pushButtonOpenSetupDevice"));
    }

private:
    // `project`: a project file to open instead of the sample.
    std::unique_ptr<MainWindow> makeWindow(bool monitoring = false, bool sample = true,
                                           const QString &project = QString(),
                                           quint16 statusPort = 0)
    {
        const QString settingsPath = m_dir->filePath("settings.ini");
        QString projectPath = project;
        {
            QSettings settings(settingsPath, QSettings::IniFormat);
            settings.setValue("application/rivar", monitoring ? "1" : "0");
            if (sample && projectPath.isEmpty()) {
                projectPath = m_dir->filePath("sample.mpj");
                ProjectModel project;
                fillSample(&project);
                project.save(projectPath);
            }
            if (!projectPath.isEmpty())
                settings.setValue("paths/lastproject", projectPath);
            if (statusPort)
                settings.setValue("network/statusport", QString::number(statusPort));
        }
        auto window = std::make_unique<MainWindow>(settingsPath);
        window->treeView()->expandAll();
        return window;
    }

    // Configuration mode on a project with one IP console (serial 4100, 8 buttons) that a
    // simulated console answers for; the tree is expanded.
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
        const QString projectPath = m_dir->filePath("console.mpj");
        {
            ProjectModel project(ProjectModel::Journals::None);
            ProjectGroup *group = namedGroup(&project, "Пульты");
            project.addDevice(group,
                              makeDevice(DeviceType::IpPult, 4100, false, 0, consoleAddress, 8));
            project.save(projectPath);
        }
        return makeWindow(false, false, projectPath, m_statusServer->port());
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
};

QTEST_MAIN(TestMainWindowEdit)
#include "tst_mainwindowedit.moc"
