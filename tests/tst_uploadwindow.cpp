// The project upload window and the write-project dialog against a simulated central unit:
// the plan they show, its execution step by step, the serial number check, a project with
// errors and a failure in the middle.

#include "devicewindowtest.h"
#include "guitest.h"
#include "testutil.h"

#include "devices/rwparamdialog.h"
#include "devices/uploadprojectwindow.h"
#include "jobs/projectuploadplan.h"
#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/projectgroup.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// Project "Север": in group "Корпус 1" the central unit, console 5001 at address 1 whose
// first button switches the unit's lines 1 and 2, console 5002 at address 3 without links.
struct Project {
    ProjectModel model {ProjectModel::Journals::None};
    ProjectGroup *group = model.addGroup();
    ProjectDevice *unit;
    ProjectDevice *linked;
    ProjectDevice *plain;

    Project(quint32 serial, const QString &address)
    {
        model.name = u("Север");
        group->name = u("Корпус 1");
        unit =
            new ProjectDevice(DeviceType::Tovik2, serial, u("Пост 1"), true, 0, true, address, -1);
        linked = new ProjectDevice(DeviceType::BexarTovik2, 5001, QString(), true, 1, false, {}, 2);
        plain = new ProjectDevice(DeviceType::BexarTovik2, 5002, QString(), true, 3, false, {}, 2);
        for (ProjectDevice *device : {unit, linked, plain})
            model.addDevice(group, device);
        for (InOut *io : linked->inouts) {
            if (io->type == InOutType::Button) {
                io->outlinks.append(OutLink {unit->id_obj, {1, 2}});
                break;
            }
        }
    }
};

} // namespace

class TestUploadWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchConnectByName);
        QVERIFY(dir.isValid());
        harness = std::make_unique<SimHarness>();
        settings = std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat);
    }

    void cleanup()
    {
        window.clear();
        GuiTest::endPendingWatches();
        QCOMPARE(connectByNameWarnings(), QStringList());
    }

    void cleanupTestCase() { harness.reset(); }

    // The window shows the plan of the real project and unit, and "Продолжить" writes it:
    // the slots, the serial numbers and the key files end up on the unit.
    void uploads()
    {
        SimDevice *sim = addUnit(2002);
        Project project(2002, address(sim));
        std::unique_ptr<UploadProjectWindow> owner(open(project, sim));
        QTRY_VERIFY_WITH_TIMEOUT(window->hasPlan(), 15000);
        // Named for what it does, not like the unit's own settings window.
        QVERIFY2(window->windowTitle().startsWith(u("Загрузка проекта в устройство ")) &&
                     window->windowTitle().endsWith(u(" №2002")),
                 qPrintable(window->windowTitle()));
        const QString label = widget<QLabel>(window, "labelUploadStatus")->text();
        QVERIFY2(label.contains(u("«Север»")) && label.contains(u("№2002")) &&
                     label.contains(u("Корпус 1")),
                 qPrintable(label));
        const UploadPlan plan = ProjectUploadPlan::consoles(project.unit);
        const QString log = widget<QPlainTextEdit>(window, "plainTextEdit")->toPlainText();
        for (const QString &line : plan.lines())
            QVERIFY2(log.contains(line), qPrintable(line));
        QPushButton *go = widget<QPushButton>(window, "pushButtonContinue");
        QVERIFY(go->isEnabled());

        BoxWatcher boxes;
        go->click();
        QVERIFY(!go->isEnabled());
        QVERIFY(boxes.waitFor(1, 20000));
        QCOMPARE(boxes.texts(), QStringList {u("Выполнено: Проект загружен в устройство.")});
        QCOMPARE(widget<QProgressBar>(window, "progressBar")->value(), plan.steps.size());

        QByteArray image;
        QVERIFY(keyConfigImage(project.linked, &image));
        QCOMPARE(descriptor(sim, "Rs485PultEnable[0]"), u("да"));
        QCOMPARE(descriptor(sim, "Rs485PultSerial[0]"), "5001");
        QCOMPARE(descriptor(sim, "Rs485PultEnable[2]"), u("да"));
        QCOMPARE(descriptor(sim, "Rs485PultSerial[2]"), "5002");
        QCOMPARE(file(sim, "0:\\links\\5001.lnk"), image);
        // Each caption went to the log as its step ran.
        const QString after = widget<QPlainTextEdit>(window, "plainTextEdit")->toPlainText();
        QVERIFY(after.contains(u("Включение пульта №5002 по адресу 3\n")));
    }

    void serialCheck_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("message");
        QTest::newRow("another serial number") << true << "Не совпадает серийный номер устройства.";
        // A failed read is no serial number, not even for a project device without one.
        QTest::newRow("unreadable") << false << "Не удалось прочитать серийный номер устройства.";
    }

    // The unit must be the project's: no plan for another one.
    void serialCheck()
    {
        QFETCH(bool, readable);
        QFETCH(QString, message);
        SimDevice *sim = addUnit(readable ? 2003 : 2004);
        if (!readable)
            harness->setRawAnswer(sim, "GET DESCRIPTOR desc_SerialNumber", "ERROR\r\n");
        Project project(readable ? 2999 : 0, address(sim));
        BoxWatcher boxes;
        std::unique_ptr<UploadProjectWindow> owner(open(project, sim));
        QVERIFY(boxes.waitFor(1, 15000));
        QCOMPARE(boxes.texts(), QStringList {u("Ошибка: ") + message});
        QVERIFY(!window->hasPlan());
        QVERIFY(!widget<QPushButton>(window, "pushButtonContinue")->isEnabled());
    }

    void planWithErrors()
    {
        SimDevice *sim = addUnit(2005);
        Project project(2005, address(sim));
        project.plain->rs485_addr = 1;
        std::unique_ptr<UploadProjectWindow> owner(open(project, sim));
        QTRY_VERIFY_WITH_TIMEOUT(window->hasPlan(), 15000);
        const QString log = widget<QPlainTextEdit>(window, "plainTextEdit")->toPlainText();
        QVERIFY2(log.contains(u("Пульты №5001 и №5002: один адрес 1")), qPrintable(log));
        QVERIFY(!widget<QPushButton>(window, "pushButtonContinue")->isEnabled());
        QVERIFY(harness->requestLog(sim).filter(QRegularExpression("^SET DESCRIPTOR")).isEmpty());
    }

    void failureInTheMiddle_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("key file refused") << "fail=1:SET FILE_CREATE";
        QTest::newRow("first block refused") << "fail=1:SET FILE_WRITE";
    }

    // The key file of the first console is refused after its slot was disabled: the plan
    // stops there, the console's own key file and its slot are put back, the message says
    // so, and the log shows what the unit holds now.
    void failureInTheMiddle()
    {
        QFETCH(QString, fault);
        SimDevice *sim = addUnit(2006);
        SimCommandDevice *command = harness->command(sim);
        harness->run([sim, command] {
            sim->descriptors.insert("Rs485PultEnable[0]", u("да"));
            command->files.store("0:\\links\\5001.lnk", "working keys");
        });
        harness->setFault(sim, fault);
        Project project(2006, address(sim));
        std::unique_ptr<UploadProjectWindow> owner(open(project, sim));
        QTRY_VERIFY_WITH_TIMEOUT(window->hasPlan(), 15000);
        BoxWatcher boxes;
        widget<QPushButton>(window, "pushButtonContinue")->click();
        QVERIFY(boxes.waitFor(1, 20000));
        QCOMPARE(boxes.boxes.size(), 1);
        const QString text = boxes.boxes.first().text;
        QVERIFY2(text.startsWith(u("Ошибка на шаге 2 «Файл назначений пульта №5001»")),
                 qPrintable(text));
        QVERIFY2(text.contains(u("Восстановлено: 0:\\links\\5001.lnk, "
                                 "desc_Rs485PultEnable[0] = 1")),
                 qPrintable(text));
        QCOMPARE(descriptor(sim, "Rs485PultEnable[0]"), u("да"));
        QCOMPARE(file(sim, "0:\\links\\5001.lnk"), QByteArray("working keys"));
        QVERIFY(!harness->requestLog(sim).contains("SET DESCRIPTOR desc_Rs485PultSerial[0] 5001"));
        const QString log = widget<QPlainTextEdit>(window, "plainTextEdit")->toPlainText();
        QVERIFY2(log.contains(u("Сейчас в устройстве:\n  desc_Rs485PultEnable[0] = да")),
                 qPrintable(log));
        QTRY_VERIFY(widget<QPushButton>(window, "pushButtonContinue")->isEnabled());
    }

    // The write-project dialog on its own, over a facade of the unit: it lists what it
    // writes and writes it, the key files under 0:\keys included.
    void writeProjectDialog()
    {
        SimDevice *sim = addUnit(2007);
        harness->run([sim] { sim->version = QStringLiteral("1.2.620"); });
        SimCommandDevice *command = harness->command(sim);
        harness->run([command] { command->files.store("0:\\keys\\keys3.bin", "stale"); });
        Project project(2007, address(sim));
        Amodule facade(project.unit, nullptr, harness->tcpPort(sim));
        QVERIFY(QTest::qWaitFor([&] { return !facade.version().isEmpty(); }, 15000));

        RwParamDialog dialog(project.unit, &facade);
        QStringList rows;
        for (QLineEdit *edit : dialog.findChildren<QLineEdit *>()) {
            QVERIFY(edit->isReadOnly());
            rows << edit->text();
        }
        QVERIFY2(rows.contains(u("Пост 1")) && rows.contains(u("1, 3")) &&
                     rows.contains(u("№5001 (назначения)")) &&
                     rows.contains(u("№5002 (по умолчанию)")),
                 qPrintable(rows.join('|')));
        dialog.show();
        BoxWatcher boxes;
        widget<QPushButton>(&dialog, "pushButtonContinue")->click();
        QVERIFY(boxes.waitFor(1, 20000));
        QCOMPARE(boxes.texts(), QStringList {u("Запись выполнена: Параметры записаны.")});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        QByteArray image;
        QVERIFY(keyConfigImage(project.linked, &image));
        QCOMPARE(descriptor(sim, "DeviceTag"), u("Пост 1"));
        QCOMPARE(descriptor(sim, "Rs485GlobalEnable"), u("вкл"));
        QCOMPARE(descriptor(sim, "Rs485PultEnable[0]"), u("да"));
        QCOMPARE(descriptor(sim, "Rs485PultEnable[1]"), u("нет"));
        QCOMPARE(descriptor(sim, "Rs485PultEnable[2]"), u("да"));
        QCOMPARE(file(sim, "0:\\keys\\keys1.bin"), image);
        bool stale = true;
        harness->run([&] { stale = command->files.exists("0:\\keys\\keys3.bin"); });
        QVERIFY(!stale);
        facade.closeAndWait(30000);
    }

    // A unit before build 576 has no name: it is neither listed nor written, the rest is.
    void writeProjectDialogOnAnOlderUnit()
    {
        SimDevice *sim = addUnit(2009);
        Project project(2009, address(sim));
        Amodule facade(project.unit, nullptr, harness->tcpPort(sim));
        QVERIFY(QTest::qWaitFor([&] { return !facade.version().isEmpty(); }, 15000));
        harness->clearLog(sim);
        RwParamDialog dialog(project.unit, &facade);
        QVERIFY(!dialog.plan().lines().join('\n').contains(u("Имя устройства")));
        dialog.show();
        BoxWatcher boxes;
        widget<QPushButton>(&dialog, "pushButtonContinue")->click();
        QVERIFY(boxes.waitFor(1, 20000));
        QCOMPARE(boxes.texts(), QStringList {u("Запись выполнена: Параметры записаны.")});
        const QStringList sets = harness->requestLog(sim).filter(QRegularExpression("^SET "));
        QVERIFY(!sets.isEmpty());
        QVERIFY(sets.filter("desc_DeviceTag").isEmpty());
        facade.closeAndWait(30000);
    }

    // The project check's findings head the log; they do not stop a plan that can run.
    void projectCheckInTheLog()
    {
        SimDevice *sim = addUnit(2010);
        Project project(2010, address(sim));
        project.model.addDevice(
            project.group,
            new ProjectDevice(DeviceType::Horn, 701, QString(), false, 0, true, address(sim), -1));
        std::unique_ptr<UploadProjectWindow> owner(open(project, sim));
        QTRY_VERIFY_WITH_TIMEOUT(window->hasPlan(), 15000);
        const QString log = widget<QPlainTextEdit>(window, "plainTextEdit")->toPlainText();
        QVERIFY2(log.startsWith(u("Проверка проекта:\n  Ошибка: Оповещатель")), qPrintable(log));
        QVERIFY2(log.contains(u("тот же адрес ") + address(sim)), qPrintable(log));
        QVERIFY(widget<QPushButton>(window, "pushButtonContinue")->isEnabled());
    }

    void writeProjectDialogRefusesErrors()
    {
        SimDevice *sim = addUnit(2008);
        Project project(2008, address(sim));
        project.plain->rs485_addr = 40;
        Amodule facade(project.unit, nullptr, harness->tcpPort(sim));
        QVERIFY(QTest::qWaitFor([&] { return facade.isConnected(); }, 15000));
        harness->clearLog(sim);
        RwParamDialog dialog(project.unit, &facade);
        dialog.show();
        QVERIFY(!widget<QPushButton>(&dialog, "pushButtonContinue")->isEnabled());
        const QString status = widget<QLabel>(&dialog, "labelStatus")->text();
        QVERIFY2(status.contains(u("Пульт №5002: адрес 40 вне диапазона 1..32")),
                 qPrintable(status));
        widget<QPushButton>(&dialog, "pushButtonContinue")->click();
        QVERIFY(harness->requestLog(sim).filter(QRegularExpression("^SET ")).isEmpty());
        facade.closeAndWait(30000);
    }

private:
    SimDevice *addUnit(int serial)
    {
        return harness->addDevice(DeviceType::Tovik2, serial,
                                  QStringLiteral("127.85.0.%1").arg(++units + 1));
    }
    static QString address(SimDevice *sim) { return sim->address.toString(); }

    UploadProjectWindow *open(Project &project, SimDevice *sim)
    {
        DeviceWindowContext context;
        context.settings = settings.get();
        context.project = &project.model;
        context.ports.commandPort = harness->tcpPort(sim);
        auto *opened = new UploadProjectWindow(project.unit, context);
        if (CdcUsbProcess *worker = opened->facade()->worker())
            worker->setTimings(3000, 100);
        opened->show();
        window = opened;
        return opened;
    }

    QString descriptor(SimDevice *sim, const QString &name)
    {
        QString value;
        harness->run([&] { value = sim->descriptors.value(name); });
        return value;
    }
    QByteArray file(SimDevice *sim, const QString &path)
    {
        SimCommandDevice *command = harness->command(sim);
        QByteArray data;
        harness->run([&] { data = command->files.file(path); });
        return data;
    }

    QTemporaryDir dir;
    std::unique_ptr<SimHarness> harness;
    std::unique_ptr<QSettings> settings;
    QPointer<UploadProjectWindow> window;
    int units = 0;
};

NORDA_GUI_TEST_MAIN(TestUploadWindow)
#include "tst_uploadwindow.moc"
