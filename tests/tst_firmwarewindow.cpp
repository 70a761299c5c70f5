// The firmware update window against the simulator's bootloader: the whole update of a
// central unit and of a console, the faults on the way, the images it refuses before the
// device is asked anything, and the firmware folder's "Добавить файл...".

#include "devicewindowtest.h"
#include "guitest.h"
#include "testutil.h"

#include "devices/firmwareupdatewindow.h"
#include "link/flashprogrammer.h"
#include "tools/devsim/simcommandserver.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

constexpr uint32_t base = 0x08000000;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

struct Opened {
    SimDevice *sim = nullptr;
    std::unique_ptr<ProjectModel> project;
    ProjectDevice *device = nullptr;
    QPointer<FirmwareUpdateWindow> window;

    ~Opened() { delete window.data(); }
};

struct FlashRow {
    const char *name;
    int type;
    int simType; // what the device runs when the window opens
    int layout;
    int size;
    QStringList erased;
};

struct FaultRow {
    const char *name;
    const char *fault;
    const char *box;
    // The device runs its bootloader already: it is programmed without "SET BOOT".
    bool inBootloader;
};

struct RefusedRow {
    const char *name;
    int type;
    const char *file;
    uint32_t address;
    int size;
    const char *box;
    bool absent; // no device answers
};

} // namespace

Q_DECLARE_METATYPE(FlashRow)
Q_DECLARE_METATYPE(FaultRow)
Q_DECLARE_METATYPE(RefusedRow)

class TestFirmwareWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchConnectByName);
        // The bootloader's retry pauses and long waits, shortened (the simulator answers at
        // once; a link that went costs every try its whole wait); the wire is the same.
        FlashProgrammer::Timing timing;
        timing.addressWaitMs = 400;
        timing.eraseWaitMs = 400;
        timing.pageWaitMs = 400;
        timing.exitWaitMs = 400;
        timing.eraseRetryPauseMs = 5;
        timing.pageRetryPauseMs = 5;
        FlashProgrammer::setTiming(timing);
        QVERIFY(dir.isValid());
        harness = std::make_unique<SimHarness>();
        settings = std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat);
        // Never the folder beside the test executable.
        settings->setValue("paths/firmwarefolder", dir.filePath("firmware"));
        // Firmware goes into devices at the factory level.
        settings->setValue("factory/fullaccess", "1");
    }

    void cleanup()
    {
        opened.reset();
        GuiTest::endPendingWatches();
        QCOMPARE(connectByNameWarnings(), QStringList());
    }

    void cleanupTestCase()
    {
        harness.reset();
        FlashProgrammer::setTiming(FlashProgrammer::Timing());
    }

    void flash_data()
    {
        const FlashRow rows[] = {
            // clang-format off
            // Two sectors of the mixed table, the last page partial.
            {"central unit", DeviceType::Tovik2, DeviceType::Tovik2, 0, 0x4000 + 0x180, {"0x8000000", "0x8004000"}},
            // Devices that run their bootloader already are programmed without "SET BOOT".
            {"central unit in its bootloader, uniform sectors", DeviceType::Norda4200, DeviceType::Bootloader, 1, 0x300, {"0x8000000"}},
            // Consoles erase 1 KB pages.
            {"console in its bootloader", DeviceType::BexarTovik2, DeviceType::BexarBoot, 0, 0x800 + 0x80, {"0x8000000", "0x8000400", "0x8000800"}},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    // The device restarts into its bootloader, which is programmed as soon as it answers:
    // the sectors of its table, the pages with the first one last, the verify in order, and
    // leaving the bootloader; only then the one message, and the window closes.
    void flash()
    {
        QFETCH(FlashRow, row);
        const QByteArray payload = TestUtil::randomBytes(row.size);
        QVERIFY(open(
            row.type, [&](SimCommandDevice *command) { command->flashLayout = row.layout; }, true,
            row.simType));
        const QString file = firmware(deviceTypeKey(row.type) + "_2_0.norda", base, payload);
        opened->window->fillFirmwareList(file);
        QCOMPARE(combo()->currentData().toString(), file);

        // Every value the bar takes (-1: emptied for the start), and every text the label
        // shows between two events.
        QList<int> values;
        QStringList labels;
        connect(bar(), &QProgressBar::valueChanged, this, [&](int value) {
            if (value >= 0)
                values << value;
            labels << label()->text();
        });
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (opened->window && (labels.isEmpty() || labels.last() != label()->text()))
                labels << label()->text();
        });
        sampler.start(0);
        BoxWatcher boxes;
        start();
        QVERIFY(!button()->isEnabled());
        QVERIFY(boxes.waitFor(1, 30000));
        QCOMPARE(
            boxes.texts(),
            QStringList {u("Выполнено: Программирование завершено. Устройство перезагрузится.")});
        QTRY_VERIFY(!opened->window);
        sampler.stop();

        QByteArray flashed;
        SimCommandDevice *command = harness->command(opened->sim);
        harness->run([&] { flashed = command->flash.read(base, payload.size()); });
        QCOMPARE(flashed, payload);

        const QStringList wire = harness->requestLog(opened->sim);
        QStringList erased, written, verified;
        for (int i = 1; i < wire.size(); ++i) {
            const QString address = wire.at(i - 1).mid(9);
            if (wire.at(i) == "SET ERASEBLOCK")
                erased << address;
            else if (wire.at(i).startsWith("SET WRITEFLASH "))
                written << address;
            else if (wire.at(i).startsWith("SET VERIFYFLASH "))
                verified << address;
        }
        const int pages = (row.size + 255) / 256;
        QCOMPARE(erased, row.erased);
        QCOMPARE(written.size(), pages);
        QCOMPARE(written.last(), "0x8000000");
        if (pages > 1)
            QCOMPARE(written.first(), "0x8000100");
        QCOMPARE(verified.size(), pages);
        QCOMPARE(verified.first(), "0x8000000");
        QStringList restarts {"SET EXITBOOT"};
        if (row.simType == row.type)
            restarts.prepend("SET BOOT");
        QCOMPARE(wire.filter(QRegularExpression("^SET (BOOT|EXITBOOT)$")), restarts);
        QCOMPARE(wire.indexOf("SET EXITBOOT"), wire.lastIndexOf(QRegularExpression("^SET .*")));

        // Each stage showed its steps; the bar went through the whole update once, never
        // back (not even for the first page, written last), and ended full.
        QVERIFY2(labels.contains(u("Стирание выполнено")), qPrintable(labels.join('|')));
        QVERIFY2(labels.filter(u("Запись страницы 0x")).size() > 0, qPrintable(labels.join('|')));
        QVERIFY2(labels.filter(u("Верификация страницы 0x")).size() > 0,
                 qPrintable(labels.join('|')));
        QVERIFY2(labels.filter(u("Верификация завершена")).size() > 0,
                 qPrintable(labels.join('|')));
        QString steps;
        for (int value : qAsConst(values))
            steps += QString::number(value) + ' ';
        for (int i = 1; i < values.size(); ++i)
            QVERIFY2(values.at(i) > values.at(i - 1), qPrintable(steps));
        QCOMPARE(values.first(), 0);
        QCOMPARE(values.last(), 100);
    }

    // "Запуск" waits for a file: "Добавить файл..." alone is none, a dialog given up leaves
    // none, and a file added is one.
    void startNeedsFile()
    {
        QTemporaryDir empty;
        settings->setValue("paths/firmwarefolder", empty.path());
        QVERIFY(open(DeviceType::Tovik2, nullptr, false));
        QCOMPARE(combo()->count(), 1);
        QVERIFY(!button()->isEnabled());
        auto given = GuiTest::cancelFileDialog();
        emit combo()->activated(0);
        QVERIFY(*given);
        QVERIFY(!button()->isEnabled());

        QTemporaryDir elsewhere;
        const QString source = elsewhere.filePath("tovik2_8_0.norda");
        QVERIFY(TestUtil::writeFile(source,
                                    TestUtil::firmwareFile(base, TestUtil::randomBytes(0x100))));
        auto accepted = GuiTest::acceptFileDialog(source);
        emit combo()->activated(0);
        QVERIFY(*accepted);
        QCOMPARE(combo()->count(), 2);
        QVERIFY(button()->isEnabled());
        // "Добавить файл..." given up with a file in the list: the file is chosen again.
        auto cancelled = GuiTest::cancelFileDialog();
        combo()->setCurrentIndex(1);
        emit combo()->activated(1);
        QVERIFY(*cancelled);
        QCOMPARE(combo()->currentIndex(), 0);
        QVERIFY(button()->isEnabled());
        settings->setValue("paths/firmwarefolder", dir.filePath("firmware"));
    }

    void faults_data()
    {
        const FaultRow rows[] = {
            // clang-format off
            {"bootloader silent", "mute=-1:GET VERSION", "Загрузчик устройства не ответил.", false},
            {"start of the bootloader refused", "fail=1:SET BOOT", "Устройство не перешло в режим загрузчика.", false},
            {"erase refused", "fail=-1:SET ERASEBLOCK", "Ошибка при стирании сектора 0x8000000", true},
            {"link lost while erasing", "drop=1:SET ERASEBLOCK", "Связь с устройством потеряна, обновление не завершено.", true},
            {"link lost mid-write", "drop=1@2:SET WRITEFLASH", "Связь с устройством потеряна, обновление не завершено.", true},
            {"verify refused", "fail=-1:SET VERIFYFLASH", "Ошибка верификации страницы 0x8000000", true},
            // Success is only what the bootloader confirmed.
            {"leaving the bootloader refused", "fail=1:SET EXITBOOT", "Ошибка команды выхода из загрузчика.", true},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    // Every failure ends in one error box, and the controls can be used again.
    void faults()
    {
        QFETCH(FaultRow, row);
        QVERIFY(open(DeviceType::Tovik2, nullptr, true,
                     row.inBootloader ? DeviceType::Bootloader : DeviceType::Tovik2));
        // Only a device that restarts waits for its bootloader; one that keeps silent costs
        // the whole wait.
        opened->window->setTimings(row.inBootloader ? 2000 : 700, 5000, 0);
        opened->window->fillFirmwareList(
            firmware("tovik2_2_1.norda", base, TestUtil::randomBytes(0x600)));
        harness->setFault(opened->sim, QString::fromLatin1(row.fault));
        BoxWatcher boxes;
        start();
        QVERIFY(boxes.waitFor(1, 30000));
        QCOMPARE(boxes.texts(), QStringList {u("Ошибка: ") + u(row.box)});
        QVERIFY(opened->window);
        QTRY_VERIFY(button()->isEnabled());
        QVERIFY(combo()->isEnabled());
        QVERIFY(!opened->window->isUpdating());
        QCOMPARE(harness->requestLog(opened->sim).contains("SET BOOT"), !row.inBootloader);
        QCOMPARE(boxes.boxes.size(), 1);
    }

    // A device that answers, but too slowly for the update to end in time: the overall
    // deadline ends it with a message, and the controls come back.
    void deadline()
    {
        QVERIFY(open(DeviceType::Tovik2, nullptr, true, DeviceType::Bootloader));
        opened->window->setTimings(2000, 5000, 1000);
        opened->window->fillFirmwareList(
            firmware("tovik2_2_2.norda", base, TestUtil::randomBytes(0x8000)));
        BoxWatcher boxes;
        start();
        harness->setFault(opened->sim, "delay=20");
        QVERIFY(boxes.waitFor(1, 30000));
        QCOMPARE(boxes.texts(),
                 QStringList {u("Ошибка: Устройство не отвечает, обновление не завершено.")});
        QTRY_VERIFY(button()->isEnabled());
        QVERIFY(!harness->requestLog(opened->sim).contains("SET EXITBOOT"));
    }

    void refused_data()
    {
        const RefusedRow rows[] = {
            // clang-format off
            {"empty image", DeviceType::Tovik2, "tovik2_0.norda", base, 0, "Файл прошивки не содержит данных.", false},
            {"not at the start of a sector", DeviceType::Tovik2, "tovik2_1.norda", base + 0x1000, 0x200, "Адрес начала прошивки 0x8001000 не совпадает с началом сектора памяти устройства.", false},
            {"not at the start of a console page", DeviceType::BexarTovik2, "bexar_tovik2_1.norda", base + 0x100, 0x200, "Адрес начала прошивки 0x8000100 не совпадает с началом сектора памяти устройства.", false},
            {"past the end of the flash", DeviceType::Tovik2, "tovik2_2.norda", base + 0xE0000, 0x20100, "Прошивка (131328 байт с адреса 0x80e0000) выходит за пределы памяти устройства.", false},
            {"not a firmware file", DeviceType::Tovik2, "tovik2_3.norda", 0, -1, "Файл отсутствует или некорректный формат файла.", false},
            {"no device", DeviceType::Tovik2, "tovik2_4.norda", base, 0x100, "Устройство не подключено.", true},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    // What no device can take, or a device that is not there, is refused before the device
    // is asked anything.
    void refused()
    {
        QFETCH(RefusedRow, row);
        QVERIFY(open(row.type, nullptr, !row.absent));
        const QString name = QString::fromLatin1(row.file);
        if (row.size < 0) {
            QVERIFY(TestUtil::writeFile(dir.filePath("firmware/" + name), "junk"));
            opened->window->fillFirmwareList(dir.filePath("firmware/" + name));
        } else {
            opened->window->fillFirmwareList(
                firmware(name, row.address, TestUtil::randomBytes(row.size)));
        }
        if (opened->sim)
            harness->clearLog(opened->sim);
        BoxWatcher boxes;
        start();
        QVERIFY(boxes.waitFor(1));
        QCOMPARE(boxes.texts(), QStringList {u("Ошибка: ") + u(row.box)});
        QVERIFY(button()->isEnabled());
        QVERIFY(!opened->window->isUpdating());
        QVERIFY(!opened->sim || harness->requestLog(opened->sim).isEmpty());
    }

    // A file whose name begins with another device's type key is flashed only when the user
    // says so.
    void otherDevicesImage()
    {
        QVERIFY(open(DeviceType::Tovik2, nullptr, true, DeviceType::Bootloader));
        opened->window->fillFirmwareList(
            firmware("horn_3_0.norda", base, TestUtil::randomBytes(0x100)));
        harness->clearLog(opened->sim);
        BoxWatcher boxes;
        boxes.answer = u("Нет");
        start();
        QVERIFY(boxes.waitFor(1));
        QCOMPARE(boxes.boxes.first().buttons.size(), 2);
        QVERIFY2(boxes.boxes.first().text.contains(u("Оповещатель/Громкоговоритель NORDA исп.IP")),
                 qPrintable(boxes.boxes.first().text));
        QVERIFY(harness->requestLog(opened->sim).isEmpty());
        QVERIFY(button()->isEnabled());

        // "Да": it is flashed.
        boxes.answer = u("Да");
        start();
        QVERIFY(boxes.waitFor(3, 30000));
        QCOMPARE(boxes.texts().last(),
                 u("Выполнено: Программирование завершено. Устройство перезагрузится."));
    }

    // Closing the window while it programs asks first; "Нет" lets the update go on.
    void closeWhileProgramming()
    {
        QVERIFY(open(DeviceType::Tovik2, nullptr, true, DeviceType::Bootloader));
        opened->window->fillFirmwareList(
            firmware("tovik2_5.norda", base, TestUtil::randomBytes(0x10000)));
        harness->setFault(opened->sim, "delay=3");
        start();
        QTRY_VERIFY_WITH_TIMEOUT(label()->text().startsWith(u("Запись страницы")), 20000);
        BoxWatcher boxes;
        boxes.answer = u("Нет");
        QVERIFY(!opened->window->close());
        QVERIFY(boxes.waitFor(1));
        QVERIFY(boxes.boxes.first().text.contains(u("Прервать")));
        QVERIFY(opened->window->isUpdating());
        boxes.answer = u("Да");
        QVERIFY(opened->window->close());
        QTRY_VERIFY(!opened->window);
        // The flashing stopped: the device was not told to leave its bootloader.
        QVERIFY(!harness->requestLog(opened->sim).contains("SET EXITBOOT"));
    }

    // The device's own files come first, and the first is chosen; "Добавить файл..." last.
    void listOrder()
    {
        firmware("aaa_1.norda", base, TestUtil::randomBytes(0x100));
        firmware("ip_pult_1.norda", base, TestUtil::randomBytes(0x100));
        const QString own = firmware("horn_9_9.norda", base, TestUtil::randomBytes(0x100));
        QVERIFY(open(DeviceType::Horn, nullptr, false));
        QComboBox *box = combo();
        QVERIFY(box->count() >= 4);
        QVERIFY2(box->itemText(0).startsWith("horn."), qPrintable(box->itemText(0)));
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->itemText(box->count() - 1), u("Добавить файл..."));
        QStringList keys;
        for (int i = 0; i < box->count() - 1; ++i)
            keys << FirmwareUpdateWindow::typeKeyOfFileName(
                QFileInfo(box->itemData(i).toString()).fileName());
        // Own, then of no type, then of other types.
        const int unnamed = keys.indexOf(QString());
        QVERIFY(unnamed > keys.lastIndexOf("horn"));
        QVERIFY(unnamed < keys.indexOf("ip_pult"));
        Q_UNUSED(own)
    }

    // "Добавить файл..." copies the chosen file into the firmware folder and selects it; the
    // file that is already there, under another spelling of its path, stays as it is.
    void addFile()
    {
        QVERIFY(open(DeviceType::Tovik2, nullptr, false));
        QTemporaryDir elsewhere;
        const QByteArray first = TestUtil::firmwareFile(base, TestUtil::randomBytes(0x200));
        const QString source = elsewhere.filePath("tovik2_7_1.norda");
        QVERIFY(TestUtil::writeFile(source, first));

        QComboBox *box = combo();
        auto accepted = GuiTest::acceptFileDialog(source);
        emit box->activated(box->count() - 1);
        QVERIFY(*accepted);
        const QString target =
            QFileInfo(dir.filePath("firmware/tovik2_7_1.norda")).absoluteFilePath();
        QCOMPARE(box->currentText(), "tovik2.7.1");
        QCOMPARE(QFileInfo(box->currentData().toString()).canonicalFilePath(),
                 QFileInfo(target).canonicalFilePath());
        QCOMPARE(TestUtil::readFile(target), first);
        QCOMPARE(settings->value("paths/firmwarefilespath").toString(), elsewhere.path());

        // The same file through another path to its folder: not copied onto itself.
        QVERIFY(QFile::link(dir.filePath("firmware"), dir.filePath("alias")));
        const QString sameFile = dir.filePath("alias/tovik2_7_1.norda");
        accepted = GuiTest::acceptFileDialog(sameFile);
        emit box->activated(box->count() - 1);
        QVERIFY(*accepted);
        QCOMPARE(TestUtil::readFile(target), first);
        QCOMPARE(box->currentText(), "tovik2.7.1");

        // Another file of the same name replaces it.
        const QByteArray second = TestUtil::firmwareFile(base, TestUtil::randomBytes(0x300));
        QVERIFY(TestUtil::writeFile(source, second));
        accepted = GuiTest::acceptFileDialog(source);
        emit box->activated(box->count() - 1);
        QVERIFY(*accepted);
        QCOMPARE(TestUtil::readFile(target), second);
        // No temporary file stays behind.
        for (const QString &name : QDir(dir.filePath("firmware")).entryList(QDir::Files))
            QVERIFY2(name.endsWith(".norda"), qPrintable(name));
    }

private:
    // Opens the window of a project device of `type`, for a simulated device of `simType`
    // (the same by default); true when it is there.
    bool open(int type, const std::function<void(SimCommandDevice *)> &before = nullptr,
              bool simulated = true, int simType = 0)
    {
        opened = std::make_unique<Opened>();
        const QString address = QStringLiteral("127.86.0.%1").arg(++devices + 1);
        const int serial = 8600 + devices;
        quint16 port = 1;
        if (simulated) {
            opened->sim = harness->addDevice(simType ? simType : type, serial, address);
            if (before) {
                SimCommandDevice *command = harness->command(opened->sim);
                harness->run([&] { before(command); });
            }
            port = harness->tcpPort(opened->sim);
        }
        opened->project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        opened->device =
            new ProjectDevice(type, quint32(serial), QString(), false, 0, true, address, -1);
        opened->project->addDevice(nullptr, opened->device);
        DeviceWindowContext context;
        context.settings = settings.get();
        context.project = opened->project.get();
        context.ports.commandPort = port;
        opened->window = new FirmwareUpdateWindow(opened->device, context);
        opened->window->setAttribute(Qt::WA_DeleteOnClose);
        if (CdcUsbProcess *worker = opened->window->facade()->worker())
            worker->setTimings(3000, 100);
        opened->window->show();
        if (simulated && !QTest::qWaitFor([&] { return opened->window->isIdentified(); }, 15000))
            qWarning("the device did not connect");
        return opened->window;
    }

    QString firmware(const QString &name, uint32_t address, const QByteArray &payload)
    {
        QDir().mkpath(dir.filePath("firmware"));
        const QString path = QFileInfo(dir.filePath("firmware/" + name)).absoluteFilePath();
        TestUtil::writeFile(path, TestUtil::firmwareFile(address, payload));
        return path;
    }

    void start() { button()->click(); }
    QPushButton *button() const
    {
        return widget<QPushButton>(opened->window, "pushButtonStartFirmwareUpdate");
    }
    QComboBox *combo() const { return widget<QComboBox>(opened->window, "comboBoxSelectFirmware"); }
    QLabel *label() const { return widget<QLabel>(opened->window, "labelCurrentStatus"); }
    QProgressBar *bar() const { return widget<QProgressBar>(opened->window, "progressBar"); }

    QTemporaryDir dir;
    std::unique_ptr<SimHarness> harness;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<Opened> opened;
    int devices = 0;
};

NORDA_GUI_TEST_MAIN(TestFirmwareWindow)
#include "tst_firmwarewindow.moc"
