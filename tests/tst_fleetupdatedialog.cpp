// The fleet firmware update dialog against simulated devices in this process: the table the
// filters select, the outcome of each device, an unfit image refused before anything starts
// and a cancel that leaves the remaining devices alone.

#include "guitest.h"
#include "simharness.h"
#include "testutil.h"

#include "app/fleetupdatedialog.h"
#include "project/devicetype.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simflash.h"
#include "tools/devsim/simulator.h"

#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

using namespace GuiTest;

namespace {

const char *const firstAddress = "127.117.0.2";

struct FilterRow {
    const char *name;
    int type; // 0: all types
    const char *group; // empty: all groups
    QList<quint32> serials;
};

struct UnfitRow {
    const char *name;
    quint32 base;
    int size;
};

struct CancelRow {
    const char *name;
    bool whileWriting; // otherwise at once, while the first device is still being reached
};

} // namespace

Q_DECLARE_METATYPE(FilterRow)
Q_DECLARE_METATYPE(UnfitRow)
Q_DECLARE_METATYPE(CancelRow)

class TestFleetUpdateDialog : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(m_dir->filePath("firmware")));
        m_settings =
            std::make_unique<QSettings>(m_dir->filePath("settings.ini"), QSettings::IniFormat);
        m_settings->setValue("paths/firmwarefolder", m_dir->filePath("firmware"));

        // "Корпус" holds 3101 and, in its subgroup "Этаж", 3102; 3103 is at the top level;
        // "Склад" holds a media converter 3104 and a loudspeaker 3105 without Ethernet.
        m_project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        ProjectGroup *building = namedGroup(m_project.get(), QStringLiteral("Корпус"));
        ProjectGroup *floor = namedGroup(m_project.get(), QStringLiteral("Этаж"), building);
        ProjectGroup *store = namedGroup(m_project.get(), QStringLiteral("Склад"));
        m_project->addDevice(building, makeDevice(DeviceType::Horn, 3101, false, 0, firstAddress));
        m_project->addDevice(floor, makeDevice(DeviceType::Horn, 3102, false, 0, "127.117.0.3"));
        m_project->addDevice(nullptr, makeDevice(DeviceType::Horn, 3103, false, 0, "127.117.0.4"));
        m_project->addDevice(store, makeDevice(DeviceType::Media, 3104, false, 0, "127.117.0.5"));
        m_project->addDevice(store, makeDevice(DeviceType::Horn, 3105));
    }

    void cleanup()
    {
        endPendingWatches();
        m_sims.clear();
        m_harness.reset();
        m_project.reset();
        m_settings.reset();
        m_dir.reset();
    }

    void filters_data()
    {
        static const FilterRow rows[] = {
            {"everything with Ethernet", 0, "", {3101, 3102, 3103, 3104}},
            {"of a type", DeviceType::Horn, "", {3101, 3102, 3103}},
            {"a group with its subgroup", 0, "Корпус", {3101, 3102}},
            {"a subgroup", 0, "Этаж", {3102}},
            {"type and group", DeviceType::Media, "Склад", {3104}},
            {"nothing", DeviceType::Media, "Корпус", {}},
        };
        TestUtil::addRows(rows);
    }

    void filters()
    {
        QFETCH(FilterRow, row);
        FleetUpdateDialog dialog(m_project.get(), m_settings.get(), 23);
        chooseData(child<QComboBox>(&dialog, "comboBoxType"), row.type);
        if (*row.group)
            choose(child<QComboBox>(&dialog, "comboBoxGroup"), QString::fromUtf8(row.group));
        QCOMPARE(tableSerials(&dialog), row.serials);
        QCOMPARE(enabled(&dialog, "pushButtonStart"), !row.serials.isEmpty());
        // Back to everything: the table follows.
        child<QComboBox>(&dialog, "comboBoxType")->setCurrentIndex(0);
        child<QComboBox>(&dialog, "comboBoxGroup")->setCurrentIndex(0);
        QCOMPARE(tableSerials(&dialog), (QList<quint32> {3101, 3102, 3103, 3104}));
    }

    // Three loudspeakers, two at a time; the second refuses to restart into its bootloader.
    // The others are updated all the same.
    void oneDeviceFails()
    {
        QVERIFY(startDevices());
        m_harness->setFault(m_sims.at(1), "fail=-1:SET BOOT");
        const QByteArray payload = TestUtil::randomBytes(0x1000);
        FleetUpdateDialog dialog(m_project.get(), m_settings.get(), m_port);
        chooseData(child<QComboBox>(&dialog, "comboBoxType"), DeviceType::Horn);
        child<QSpinBox>(&dialog, "spinBoxParallel")->setValue(2);
        chooseImage(&dialog, SimFlash::base, payload);

        QSignalSpy ended(&dialog, &FleetUpdateDialog::updateFinished);
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Ok, box);
        child<QPushButton>(&dialog, "pushButtonStart")->click();
        QVERIFY(!enabled(&dialog, "pushButtonStart"));
        QCOMPARE(child<QPushButton>(&dialog, "pushButtonClose")->text(), QStringLiteral("Отмена"));
        QVERIFY(ended.wait(30000));
        QVERIFY(*answered);
        QCOMPARE(box->text, QStringLiteral("Обновлено: 2, с ошибками: 1"));
        QCOMPARE(child<QLabel>(&dialog, "labelSummary")->text(), box->text);

        QCOMPARE(column(&dialog, FleetUpdateDialog::State),
                 (QStringList {"обновлено", "ошибка", "обновлено"}));
        const QStringList results = column(&dialog, FleetUpdateDialog::Result);
        QCOMPARE(results.at(0), QStringLiteral("Обновлено"));
        // In Russian, whatever the update's log line says.
        QCOMPARE(results.at(1), QStringLiteral("Устройство не выполнило команду."));
        QCOMPARE(results.at(2), QStringLiteral("Обновлено"));
        QCOMPARE(flashOf(0, payload.size()), payload);
        QCOMPARE(flashOf(1, payload.size()), QByteArray(payload.size(), '\xFF'));
        QCOMPARE(flashOf(2, payload.size()), payload);
        QCOMPARE(child<QPushButton>(&dialog, "pushButtonClose")->text(), QStringLiteral("Закрыть"));
    }

    void unfitImage_data()
    {
        static const UnfitRow rows[] = {
            {"not at a sector start", SimFlash::base + 0x400, 0x100},
            {"past the flash", SimFlash::base + 0xE0000, 0x40000},
        };
        TestUtil::addRows(rows);
    }

    // An image the loudspeakers cannot take is refused before any device is asked.
    void unfitImage()
    {
        QFETCH(UnfitRow, row);
        QVERIFY(startDevices());
        FleetUpdateDialog dialog(m_project.get(), m_settings.get(), m_port);
        chooseData(child<QComboBox>(&dialog, "comboBoxType"), DeviceType::Horn);
        chooseImage(&dialog, row.base, TestUtil::randomBytes(row.size));
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Ok, box);
        child<QPushButton>(&dialog, "pushButtonStart")->click();
        QVERIFY(*answered);
        QVERIFY2(box->text.startsWith(QStringLiteral("Прошивка не подходит выбранным устройствам")),
                 qPrintable(box->text));
        QVERIFY(!dialog.isRunning());
        QCOMPARE(column(&dialog, FleetUpdateDialog::State), (QStringList {"", "", ""}));
        for (SimDevice *sim : qAsConst(m_sims))
            QVERIFY(m_harness->requestLog(sim).isEmpty());
    }

    void cancelStopsTheRest_data()
    {
        static const CancelRow rows[] = {
            {"while reaching the first", false},
            {"while writing the first", true},
        };
        TestUtil::addRows(rows);
    }

    // One at a time; "Отмена" asks, then the first device stops and the others are never
    // asked for anything.
    void cancelStopsTheRest()
    {
        QFETCH(CancelRow, row);
        QVERIFY(startDevices());
        const QByteArray payload = TestUtil::randomBytes(0x8000);
        FleetUpdateDialog dialog(m_project.get(), m_settings.get(), m_port);
        chooseData(child<QComboBox>(&dialog, "comboBoxType"), DeviceType::Horn);
        child<QSpinBox>(&dialog, "spinBoxParallel")->setValue(1);
        chooseImage(&dialog, SimFlash::base, payload);
        const int first = firstInTable(&dialog);
        m_harness->setFault(m_sims.at(first), "delay=5");

        QSignalSpy ended(&dialog, &FleetUpdateDialog::updateFinished);
        child<QPushButton>(&dialog, "pushButtonStart")->click();
        QVERIFY(dialog.isRunning());
        if (row.whileWriting)
            QTRY_VERIFY_WITH_TIMEOUT(
                !m_harness->requestLog(m_sims.at(first)).filter("SET WRITEFLASH").isEmpty(), 20000);
        auto question = std::make_shared<BoxSeen>();
        auto asked = answerMessageBox(QMessageBox::Yes, question);
        child<QPushButton>(&dialog, "pushButtonClose")->click();
        QVERIFY(*asked);
        QVERIFY2(question->text.startsWith(QStringLiteral("Обновление прошивки ещё идёт")),
                 qPrintable(question->text));
        auto box = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox(QMessageBox::Ok, box);
        QVERIFY(ended.wait(30000));
        QVERIFY(*answered);
        QCOMPARE(box->text, QStringLiteral("Обновлено: 0, с ошибками: 1, не начато: 2"));
        const QStringList states = column(&dialog, FleetUpdateDialog::State);
        QCOMPARE(states.count("ошибка"), 1);
        QCOMPARE(states.at(first), QStringLiteral("ошибка"));
        QCOMPARE(states.count("не начато"), 2);
        QVERIFY(flashOf(first, payload.size()) != payload);
        for (int i = 0; i < m_sims.size(); ++i) {
            if (i != first)
                QVERIFY(m_harness->requestLog(m_sims.at(i)).isEmpty());
        }
    }

    // Closing while the update runs asks first; "Нет" keeps it running, "Да" stops it.
    void closeWhileRunning()
    {
        QVERIFY(startDevices());
        FleetUpdateDialog dialog(m_project.get(), m_settings.get(), m_port);
        chooseData(child<QComboBox>(&dialog, "comboBoxType"), DeviceType::Horn);
        child<QSpinBox>(&dialog, "spinBoxParallel")->setValue(1);
        chooseImage(&dialog, SimFlash::base, TestUtil::randomBytes(0x8000));
        const int first = firstInTable(&dialog);
        m_harness->setFault(m_sims.at(first), "delay=5");
        dialog.show();
        child<QPushButton>(&dialog, "pushButtonStart")->click();

        auto kept = answerMessageBox(QMessageBox::No);
        dialog.reject();
        QVERIFY(*kept);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.isRunning());

        auto stopped = answerMessageBox(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(*stopped);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.isRunning());
        for (int i = 0; i < m_sims.size(); ++i) {
            if (i != first)
                QVERIFY(m_harness->requestLog(m_sims.at(i)).isEmpty());
        }
    }

private:
    // Simulated loudspeakers 3101..3103 at their project addresses, on one command port.
    bool startDevices()
    {
        m_harness = std::make_unique<SimHarness>();
        m_port = TestUtil::freePort(firstAddress);
        if (!m_port)
            return false;
        bool ok = true;
        for (const char *address : {firstAddress, "127.117.0.3", "127.117.0.4"}) {
            SimDevice *device = nullptr;
            m_harness->run([&] {
                device = m_harness->sim()->addDevice(DeviceType::Horn, int(3101 + m_sims.size()),
                                                     QHostAddress(address));
                QString error;
                if (!device || !m_harness->commandServer()->attach(device, m_port, &error)) {
                    qWarning("cannot attach the simulated device: %s", qPrintable(error));
                    ok = false;
                }
            });
            m_sims << device;
        }
        return ok;
    }

    // Picks the image through the file chooser, which opens in the firmware folder.
    void chooseImage(FleetUpdateDialog *dialog, quint32 base, const QByteArray &payload)
    {
        const QString path = m_dir->filePath("firmware/fleet.norda");
        QVERIFY(TestUtil::writeFile(path, TestUtil::firmwareFile(base, payload)));
        auto seen = std::make_shared<FileDialogSeen>();
        auto accepted = acceptFileDialog(path, seen);
        child<QPushButton>(dialog, "pushButtonChooseImage")->click();
        QVERIFY(*accepted);
        QCOMPARE(seen->directory, m_dir->filePath("firmware"));
        QCOMPARE(child<QLineEdit>(dialog, "lineEditImage")->text(), path);
    }

    QByteArray flashOf(int index, int size)
    {
        QByteArray bytes;
        SimCommandDevice *command = m_harness->command(m_sims.at(index));
        m_harness->run([&] { bytes = command->flash.read(SimFlash::base, size); });
        return bytes;
    }

    // A column's texts in the order of the devices' serial numbers (the table lists them
    // in the project's order).
    static QStringList column(FleetUpdateDialog *dialog, int which)
    {
        auto *table = child<QTableWidget>(dialog, "tableWidgetDevices");
        QMap<quint32, QString> bySerial;
        for (int row = 0; row < table->rowCount(); ++row)
            bySerial.insert(table->item(row, FleetUpdateDialog::Serial)->text().toUInt(),
                            table->item(row, which)->text());
        return bySerial.values();
    }

    // The index in m_sims of the device the table lists first (the update's first).
    static int firstInTable(FleetUpdateDialog *dialog)
    {
        auto *table = child<QTableWidget>(dialog, "tableWidgetDevices");
        return int(table->item(0, FleetUpdateDialog::Serial)->text().toUInt()) - 3101;
    }

    static QList<quint32> tableSerials(FleetUpdateDialog *dialog)
    {
        QList<quint32> serials;
        for (const QString &text : column(dialog, FleetUpdateDialog::Serial))
            serials << text.toUInt();
        return serials;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<ProjectModel> m_project;
    std::unique_ptr<SimHarness> m_harness;
    QList<SimDevice *> m_sims;
    quint16 m_port = 0;
};

NORDA_GUI_TEST_MAIN(TestFleetUpdateDialog)
#include "tst_fleetupdatedialog.moc"
