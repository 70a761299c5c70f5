// The device dialog (adding and editing a device) and the key dialog (naming a console
// button and choosing the outputs it switches).

#include "guitest.h"
#include "testutil.h"

#include "app/adddevicedialog.h"
#include "app/editkeydialog.h"
#include "app/editkeyitemwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QtTest>

using namespace GuiTest;

Q_DECLARE_METATYPE(OutLink)

namespace {

QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QList<ProjectDevice *> itemDevices(const QComboBox *box)
{
    QList<ProjectDevice *> devices;
    for (int i = 0; i < box->count(); ++i)
        devices << box->itemData(i).value<ProjectDevice *>();
    return devices;
}

void chooseType(AddDeviceDialog *dialog, int type)
{
    auto *box = child<QComboBox>(dialog, "comboBoxDeviceType");
    const int index = box->findData(type);
    QVERIFY(index >= 0);
    box->setCurrentIndex(index);
}

QList<int> checkedIndexes(const EditKeyItemWidget *row)
{
    QList<int> indexes;
    for (const QCheckBox *box : row->outputBoxes()) {
        if (box->isChecked())
            indexes << box->property("inout_index").toInt();
    }
    return indexes;
}

struct LayoutRow {
    const char *name;
    int type;
    bool rs485Shown, rs485Checked, busEnabled;
    bool ethernetShown, ethernetChecked, ethernetSwitchable, addressEnabled;
    bool keysShown;
    const char *firstBusItem;
};

struct TypingRow {
    const char *name, *field, *typed, *result;
    bool acceptable;
};

struct ConsoleRow {
    const char *name;
    int type, keys, address;
    const char *shownKeys, *shownBus;
};

} // namespace

Q_DECLARE_METATYPE(LayoutRow)
Q_DECLARE_METATYPE(TypingRow)
Q_DECLARE_METATYPE(ConsoleRow)

class TestDeviceDialogs : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_project = std::make_unique<ProjectModel>();
        fillSample(m_project.get());
        m_project->modified = false;
    }

    void cleanup() { m_project.reset(); }

    // The group box lists the project's groups by path; a preselected group is the chosen
    // one from the start.
    void groupChoice()
    {
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        auto *groups = child<QComboBox>(&dialog, "comboBoxGroup");
        QCOMPARE(itemTexts(groups), QStringList({"Без группы", "A", "A-->A1", "B"}));
        QCOMPARE(groups->currentIndex(), 0);
        QVERIFY(!dialog.group());

        ProjectGroup *a1 = m_project->allGroups().at(1);
        AddDeviceDialog inGroup(m_project.get(), a1, nullptr);
        QCOMPARE(child<QComboBox>(&inGroup, "comboBoxGroup")->currentText(), "A-->A1");
        QCOMPARE(inGroup.group(), a1);
    }

    void tagLabelFollowsMode()
    {
        AddDeviceDialog configuration(m_project.get(), nullptr, nullptr);
        QCOMPARE(child<QLabel>(&configuration, "labelDeviceTag")->text(), "Имя устройства:");
        m_project->monitoring = true;
        AddDeviceDialog monitoring(m_project.get(), nullptr, nullptr);
        QCOMPARE(child<QLabel>(&monitoring, "labelDeviceTag")->text(), "Расположение:");
    }

    void layoutPerType_data()
    {
        // Type 2 is the form's first type, so its row is also the form as it opens.
        const LayoutRow rows[] = {
            // name, type, rs485: shown, checked, bus enabled; Ethernet: shown, checked,
            // switchable, address enabled; keys shown; first bus item
            {"2", 2, true, false, false, true, false, true, false, false, "Центральный блок"},
            {"6", 6, true, true, true, false, false, true, false, true, "Адрес 1"},
            {"7", 7, false, false, false, true, true, false, true, false, "Центральный блок"},
            {"8", 8, false, false, false, true, true, false, true, true, "Центральный блок"},
            {"0 leaves the form", 0, true, false, false, true, false, true, false, false,
             "Центральный блок"},
        };
        TestUtil::addRows(rows);
    }

    void layoutPerType()
    {
        QFETCH(LayoutRow, row);
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        chooseType(&dialog, row.type);
        auto *rs485 = child<QCheckBox>(&dialog, "checkBoxRs485Enable");
        auto *bus = child<QComboBox>(&dialog, "comboBoxRs485Mode");
        auto *ethernet = child<QCheckBox>(&dialog, "checkBoxEthernetEnable");
        auto *address = child<QLineEdit>(&dialog, "lineEditIpAddress");
        QCOMPARE(!rs485->isHidden(), row.rs485Shown);
        QCOMPARE(!bus->isHidden(), row.rs485Shown);
        QCOMPARE(rs485->isChecked(), row.rs485Checked);
        if (row.rs485Shown)
            QCOMPARE(bus->isEnabled(), row.busEnabled);
        QCOMPARE(!ethernet->isHidden(), row.ethernetShown);
        QCOMPARE(!address->isHidden(), row.ethernetShown);
        QCOMPARE(ethernet->isChecked(), row.ethernetChecked);
        QCOMPARE(ethernet->isEnabled(), row.ethernetSwitchable);
        if (row.ethernetShown)
            QCOMPARE(address->isEnabled(), row.addressEnabled);
        QCOMPARE(shown(&dialog, "labelKeysCount"), row.keysShown);
        QCOMPARE(shown(&dialog, "comboBoxKeysCount"), row.keysShown);
        QCOMPARE(bus->itemText(0), row.firstBusItem);
        QCOMPARE(bus->count(), row.type == 6 ? 32 : 10);
    }

    void switchesEnableTheirFields()
    {
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        auto *rs485 = child<QCheckBox>(&dialog, "checkBoxRs485Enable");
        auto *ethernet = child<QCheckBox>(&dialog, "checkBoxEthernetEnable");
        rs485->setChecked(true);
        QVERIFY(child<QComboBox>(&dialog, "comboBoxRs485Mode")->isEnabled());
        rs485->setChecked(false);
        QVERIFY(!child<QComboBox>(&dialog, "comboBoxRs485Mode")->isEnabled());
        ethernet->setChecked(true);
        QVERIFY(child<QLineEdit>(&dialog, "lineEditIpAddress")->isEnabled());
        ethernet->setChecked(false);
        QVERIFY(!child<QLineEdit>(&dialog, "lineEditIpAddress")->isEnabled());
    }

    void typingIsFiltered_data()
    {
        const char *const ip = "lineEditIpAddress";
        const char *const serial = "lineEditSerialNumber";
        const TypingRow rows[] = {
            // name, field, typed, result, acceptable
            {"address", ip, "127.0.0.12", "127.0.0.12", true},
            {"address, leading zeros", ip, "010.0.0.1", "010.0.0.1", true},
            {"address, 256 refused", ip, "256.1.2.3", "25.1.2.3", true},
            {"address, letters refused", ip, "1a.2b.3c.4d", "1.2.3.4", true},
            {"address, fifth part refused", ip, "1.2.3.4.5", "1.2.3.45", true},
            {"address, incomplete", ip, "10.0.0", "10.0.0", false},
            {"serial", serial, "2147483647", "2147483647", true},
            {"serial, letters refused", serial, "12ab3", "123", true},
            {"serial, minus refused", serial, "-5", "5", true},
        };
        TestUtil::addRows(rows);
    }

    void typingIsFiltered()
    {
        QFETCH(TypingRow, row);
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        child<QCheckBox>(&dialog, "checkBoxEthernetEnable")->setChecked(true);
        auto *edit = child<QLineEdit>(&dialog, row.field);
        QVERIFY(edit);
        edit->clear();
        QTest::keyClicks(edit, row.typed);
        QCOMPARE(edit->text(), row.result);
        QCOMPARE(edit->hasAcceptableInput(), row.acceptable);
    }

    void addressIsKeptAsDecimal_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        const char *const rows[][3] = {{"leading zeros", "192.168.010.005", "192.168.10.5"},
                                       {"zeros only", "010.000.00.1", "10.0.0.1"},
                                       {"plain", "127.0.0.7", "127.0.0.7"},
                                       {"incomplete, as typed", "10.0.0", "10.0.0"}};
        for (const auto &row : rows)
            QTest::newRow(row[0]) << row[1] << row[2];
    }

    void addressIsKeptAsDecimal()
    {
        // Stored as the address it is ("010" is ten, as everywhere the address is used),
        // whether the device is added or edited.
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        AddDeviceDialog adding(m_project.get(), nullptr, nullptr);
        chooseType(&adding, DeviceType::Horn);
        auto *edit = child<QLineEdit>(&adding, "lineEditIpAddress");
        edit->clear();
        QTest::keyClicks(edit, typed);
        child<QPushButton>(&adding, "pushButtonAddDevice")->click();
        std::unique_ptr<ProjectDevice> device(adding.device());
        QVERIFY(device);
        QCOMPARE(device->ip_addr, stored);

        device->ip_addr = typed;
        AddDeviceDialog editing(m_project.get(), nullptr, device.get());
        QCOMPARE(child<QLineEdit>(&editing, "lineEditIpAddress")->text(), typed);
        child<QPushButton>(&editing, "pushButtonAddDevice")->click();
        QCOMPARE(device->ip_addr, stored);
    }

    void hiddenSwitchesDoNotLeak()
    {
        // Ethernet switched on for a central unit does not stay on for a console of type 6,
        // whose form hides it.
        AddDeviceDialog first(m_project.get(), nullptr, nullptr);
        chooseType(&first, DeviceType::Norda4200);
        child<QCheckBox>(&first, "checkBoxEthernetEnable")->setChecked(true);
        child<QLineEdit>(&first, "lineEditIpAddress")->setText("127.0.0.8");
        chooseType(&first, DeviceType::BexarTovik2);
        child<QPushButton>(&first, "pushButtonAddDevice")->click();
        std::unique_ptr<ProjectDevice> console(first.device());
        QVERIFY(!console->ip_enabled);
        QVERIFY(console->rs485_enabled);

        // RS-485 of a console does not stay on for a loudspeaker, which has Ethernet.
        AddDeviceDialog second(m_project.get(), nullptr, nullptr);
        chooseType(&second, DeviceType::BexarTovik2);
        chooseType(&second, DeviceType::Horn);
        child<QLineEdit>(&second, "lineEditIpAddress")->setText("127.0.0.9");
        choose(child<QComboBox>(&second, "comboBoxGroup"), "B");
        child<QPushButton>(&second, "pushButtonAddDevice")->click();
        std::unique_ptr<ProjectDevice> horn(second.device());
        QCOMPARE(horn->type, int(DeviceType::Horn));
        QVERIFY(!horn->rs485_enabled);
        QVERIFY(horn->ip_enabled);
        QCOMPARE(horn->ip_addr, "127.0.0.9");
        QCOMPARE(horn->keys_count, -1);
        QCOMPARE(second.group(), m_project->allGroups().at(2));
    }

    void cancelCreatesNothing()
    {
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        child<QPushButton>(&dialog, "pushButtonCansel")->click();
        QVERIFY(!dialog.isAccepted());
        QVERIFY(!dialog.device());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        ProjectDevice *unit = m_project->findDeviceBySerial(101);
        AddDeviceDialog editing(m_project.get(), unit->parentGroup(), unit);
        child<QLineEdit>(&editing, "lineEditSerialNumber")->setText("9");
        child<QPushButton>(&editing, "pushButtonCansel")->click();
        QCOMPARE(unit->serial, 101);
    }

    void editExtensionUnit()
    {
        ProjectDevice *unit = m_project->findDeviceBySerial(101);
        ProjectGroup *a = unit->parentGroup();
        unit->tag = "Подвал";
        AddDeviceDialog dialog(m_project.get(), a, unit);
        auto *types = child<QComboBox>(&dialog, "comboBoxDeviceType");
        QVERIFY(!types->isEnabled());
        QCOMPARE(types->currentData().toInt(), int(DeviceType::Norda410x));
        auto *bus = child<QComboBox>(&dialog, "comboBoxRs485Mode");
        QCOMPARE(bus->currentText(), "Блок расширения 3");
        QVERIFY(bus->isEnabled());
        QVERIFY(child<QCheckBox>(&dialog, "checkBoxRs485Enable")->isChecked());
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditSerialNumber")->text(), "101");
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditDeviceTag")->text(), "Подвал");
        QVERIFY(!child<QCheckBox>(&dialog, "checkBoxEthernetEnable")->isChecked());
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditIpAddress")->text(), "192.168.0.250");
        QVERIFY(!child<QLineEdit>(&dialog, "lineEditIpAddress")->isEnabled());
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxGroup")->currentText(), "A");

        child<QCheckBox>(&dialog, "checkBoxEthernetEnable")->setChecked(true);
        child<QLineEdit>(&dialog, "lineEditIpAddress")->setText("127.0.0.21");
        choose(bus, "Центральный блок");
        child<QLineEdit>(&dialog, "lineEditSerialNumber")->setText("111");
        child<QPushButton>(&dialog, "pushButtonAddDevice")->click();
        QVERIFY(dialog.isAccepted());
        QCOMPARE(dialog.device(), unit);
        QCOMPARE(unit->serial, 111);
        QCOMPARE(int(unit->rs485_addr), 0);
        QVERIFY(unit->ip_enabled);
        QCOMPARE(unit->ip_addr, "127.0.0.21");
        QCOMPARE(unit->type, int(DeviceType::Norda410x));
        QCOMPARE(unit->inouts.size(), 23);
        QCOMPARE(dialog.group(), a);
    }

    void editConsoles_data()
    {
        const ConsoleRow rows[] = {
            // name, type, keys, address, shownKeys, shownBus
            {"6, 16 buttons, address 5", 6, 16, 5, "16", "Адрес 5"},
            {"6, 40 buttons, address 32", 6, 40, 32, "40", "Адрес 32"},
            {"8, 12 buttons kept", 8, 12, 0, "12", ""},
            {"8, count unknown", 8, -1, 0, "8", ""},
        };
        TestUtil::addRows(rows);
    }

    void editConsoles()
    {
        QFETCH(ConsoleRow, row);
        const int type = row.type;
        ProjectDevice *console =
            makeDevice(type, 77, type == 6, row.address, type == 8 ? "127.0.0.30" : "", row.keys);
        m_project->addDevice(nullptr, console);
        console->inouts.first()->outlinks.append(OutLink {1, {2}});
        const int buttons = console->buttonCount();

        AddDeviceDialog dialog(m_project.get(), nullptr, console);
        QVERIFY(shown(&dialog, "comboBoxKeysCount"));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxKeysCount")->currentText(), row.shownKeys);
        if (*row.shownBus)
            QCOMPARE(child<QComboBox>(&dialog, "comboBoxRs485Mode")->currentText(), row.shownBus);
        child<QPushButton>(&dialog, "pushButtonAddDevice")->click();
        // Accepting without a change keeps every button and its links.
        QCOMPARE(console->buttonCount(), buttons);
        QCOMPARE(console->inouts.first()->outlinks.size(), 1);
        QCOMPARE(int(console->rs485_addr), row.address);
        QCOMPARE(console->rs485_enabled, type == 6);
    }

    void editTypeOutsideTheList()
    {
        ProjectDevice *media = m_project->findDeviceBySerial(105);
        media->rs485_enabled = true;
        media->rs485_addr = 2;
        AddDeviceDialog dialog(m_project.get(), nullptr, media);
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxDeviceType")->currentText(),
                 "Медиаконвертер новый");
        child<QPushButton>(&dialog, "pushButtonAddDevice")->click();
        QCOMPARE(media->type, int(DeviceType::Media));
        QVERIFY(media->rs485_enabled);
        QCOMPARE(int(media->rs485_addr), 2);
    }

    void emptySerialIsZero()
    {
        AddDeviceDialog dialog(m_project.get(), nullptr, nullptr);
        child<QLineEdit>(&dialog, "lineEditSerialNumber")->clear();
        child<QPushButton>(&dialog, "pushButtonAddDevice")->click();
        std::unique_ptr<ProjectDevice> device(dialog.device());
        QCOMPARE(device->serial, 0);
    }

    void keyDialogConstruction()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        ProjectDevice *horn = m_project->findDeviceBySerial(103);
        unit->inouts.at(1)->name = "Лестница";
        InOut *key = console->inouts.at(2);
        key->name = "Тревога";
        key->outlinks = {OutLink {unit->id_obj, {2, 5}}, OutLink {horn->id_obj, {1}}};

        EditKeyDialog dialog(m_project.get(), key);
        QCOMPARE(dialog.windowTitle(), "Настройка кнопки Кнопка 3");
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditKeyName")->text(), "Тревога");
        QCOMPARE(dialog.rows().size(), 2);

        EditKeyItemWidget *first = dialog.rows().at(0);
        QCOMPARE(first->chosenDevice(), unit);
        QCOMPARE(first->deviceBox()->currentText(), "Блок NORDA-4200 (серийный номер 100)");
        QStringList labels;
        QList<int> indexes;
        for (const QCheckBox *box : first->outputBoxes()) {
            labels << box->text();
            indexes << box->property("inout_index").toInt();
        }
        QCOMPARE(labels,
                 QStringList({"Выход ЛО1", "Лестница", "Выход ЛО3", "Выход ЛО4", "Выход ЛО5",
                              "Выход ЛО6", "Выход ЛО7", "Выход ЛО8"}));
        QCOMPARE(indexes, QList<int>({1, 2, 3, 4, 5, 6, 7, 8}));
        QCOMPARE(checkedIndexes(first), QList<int>({2, 5}));
        QCOMPARE(first->link(), (OutLink {unit->id_obj, {2, 5}}));
        QCOMPARE(dialog.rows().at(1)->chosenDevice(), horn);
        QCOMPARE(checkedIndexes(dialog.rows().at(1)), QList<int>({1}));
    }

    void keyDialogNeverOffersADeviceTwice()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        InOut *key = console->inouts.first();
        EditKeyDialog dialog(m_project.get(), key);
        auto *add = child<QPushButton>(&dialog, "pushButtonAddDevice");
        QVERIFY(dialog.rows().isEmpty());
        QVERIFY(add->isEnabled());

        const int others = m_project->allDevices().size() - 1;
        for (int i = 0; i < others; ++i) {
            QVERIFY(add->isEnabled());
            add->click();
            QCOMPARE(dialog.rows().size(), i + 1);
            QList<ProjectDevice *> chosen;
            for (EditKeyItemWidget *row : dialog.rows()) {
                QVERIFY(row->chosenDevice());
                QVERIFY(!chosen.contains(row->chosenDevice()));
                chosen << row->chosenDevice();
                const QList<ProjectDevice *> offered = itemDevices(row->deviceBox());
                // The row's own device first; never the console itself.
                QCOMPARE(offered.first(), row->chosenDevice());
                QVERIFY(!offered.contains(console));
                QCOMPARE(offered.size(), 1 + others - (i + 1));
            }
            // What one row has chosen no other row offers.
            for (EditKeyItemWidget *row : dialog.rows()) {
                for (ProjectDevice *device : itemDevices(row->deviceBox()).mid(1))
                    QVERIFY(!chosen.contains(device));
            }
        }
        // Every device is in use: nothing more can be added.
        QVERIFY(!add->isEnabled());
        dialog.on_pushButtonAddDevice_clicked();
        QCOMPARE(dialog.rows().size(), others);
    }

    void keyDialogRowFollowsDeviceChange()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        EditKeyDialog dialog(m_project.get(), console->inouts.first());
        auto *add = child<QPushButton>(&dialog, "pushButtonAddDevice");
        add->click();
        add->click();
        EditKeyItemWidget *first = dialog.rows().at(0);
        EditKeyItemWidget *second = dialog.rows().at(1);
        first->outputBoxes().first()->setChecked(true);
        ProjectDevice *before = first->chosenDevice();

        // The first row switches to a device nobody uses: its outputs start unchecked, and
        // the second row may now offer the device the first one gave up.
        first->deviceBox()->setCurrentIndex(1);
        ProjectDevice *now = first->chosenDevice();
        QVERIFY(now != before);
        QVERIFY(now != second->chosenDevice());
        QVERIFY(checkedIndexes(first).isEmpty());
        QVERIFY(itemDevices(second->deviceBox()).contains(before));
        QVERIFY(!itemDevices(second->deviceBox()).contains(now));
    }

    void keyDialogDeleteRow()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        EditKeyDialog dialog(m_project.get(), console->inouts.first());
        auto *add = child<QPushButton>(&dialog, "pushButtonAddDevice");
        for (int i = 0; i < 5; ++i)
            add->click();
        QVERIFY(!add->isEnabled());
        EditKeyItemWidget *row = dialog.rows().at(2);
        ProjectDevice *freed = row->chosenDevice();
        QSignalSpy deleted(row, &EditKeyItemWidget::deleteButtonClicked);
        child<QPushButton>(row, "pushButtonDelete")->click();
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.first().at(0).value<QWidget *>(), row);
        QCOMPARE(dialog.rows().size(), 4);
        QVERIFY(add->isEnabled());
        for (EditKeyItemWidget *other : dialog.rows())
            QVERIFY(itemDevices(other->deviceBox()).contains(freed));
    }

    void keyDialogAcceptMergesLinks()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        ProjectDevice *unit = m_project->findDeviceBySerial(100);
        InOut *key = console->inouts.first();
        // Two links to one device, as an older file may hold them, are shown as one row.
        key->outlinks = {OutLink {unit->id_obj, {1}}, OutLink {unit->id_obj, {3, 1}}};
        EditKeyDialog dialog(m_project.get(), key);
        QCOMPARE(dialog.rows().size(), 1);
        QCOMPARE(checkedIndexes(dialog.rows().first()), QList<int>({1, 3}));

        // A row with nothing checked adds no link.
        child<QPushButton>(&dialog, "pushButtonAddDevice")->click();
        QCOMPARE(dialog.rows().size(), 2);
        child<QLineEdit>(&dialog, "lineEditKeyName")->setText("Все");
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(key->name, "Все");
        QCOMPARE(key->outlinks, QList<OutLink>({OutLink {unit->id_obj, {1, 3}}}));
        QVERIFY(m_project->modified);
    }

    void keyDialogRejectChangesNothing()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        ProjectDevice *horn = m_project->findDeviceBySerial(103);
        InOut *key = console->inouts.first();
        key->outlinks = {OutLink {horn->id_obj, {1}}};
        EditKeyDialog dialog(m_project.get(), key);
        child<QLineEdit>(&dialog, "lineEditKeyName")->setText("x");
        dialog.rows().first()->outputBoxes().first()->setChecked(false);
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(key->name, QString());
        QCOMPARE(key->outlinks, QList<OutLink>({OutLink {horn->id_obj, {1}}}));
        QVERIFY(!m_project->modified);

        // Accepting what was there already is no change either.
        EditKeyDialog same(m_project.get(), key);
        child<QDialogButtonBox>(&same, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!m_project->modified);
    }

    void keyDialogDanglingLink()
    {
        ProjectDevice *console = m_project->findDeviceBySerial(102);
        InOut *key = console->inouts.first();
        key->outlinks = {OutLink {9999, {1, 2}}};
        EditKeyDialog dialog(m_project.get(), key);
        QCOMPARE(dialog.rows().size(), 1);
        EditKeyItemWidget *row = dialog.rows().first();
        // The missing device's row takes the first free device, with nothing checked.
        QCOMPARE(row->chosenDevice(), m_project->findDeviceBySerial(100));
        QVERIFY(checkedIndexes(row).isEmpty());
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        QVERIFY(key->outlinks.isEmpty());
    }

    void mergeLinks_data()
    {
        QTest::addColumn<QList<OutLink>>("links");
        QTest::addColumn<QList<OutLink>>("merged");

        QTest::newRow("empty") << QList<OutLink>() << QList<OutLink>();
        QTest::newRow("no outputs dropped")
            << QList<OutLink>({{3, {}}, {4, {1}}}) << QList<OutLink>({{4, {1}}});
        QTest::newRow("same device joined, order kept")
            << QList<OutLink>({{4, {2}}, {5, {1}}, {4, {1, 2, 3}}})
            << QList<OutLink>({{4, {2, 1, 3}}, {5, {1}}});
        QTest::newRow("repeated index once")
            << QList<OutLink>({{4, {2, 2}}}) << QList<OutLink>({{4, {2}}});
    }

    void mergeLinks()
    {
        QFETCH(QList<OutLink>, links);
        QFETCH(QList<OutLink>, merged);
        QCOMPARE(EditKeyDialog::mergeLinks(links), merged);
    }

private:
    std::unique_ptr<ProjectModel> m_project;
};

NORDA_GUI_TEST_MAIN(TestDeviceDialogs)
#include "tst_devicedialogs.moc"
