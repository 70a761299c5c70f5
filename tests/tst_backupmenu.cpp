// The configuration menu of the device windows against simulated devices: saving a backup
// file, and restoring one through the table of differences, which writes nothing when
// cancelled and only the differences when confirmed.
#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"

#include "devices/backupdiffdialog.h"
#include "link/devicebackup.h"

#include <QAction>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>

using namespace DeviceWindowTest;
using namespace GuiTest;

namespace {

QStringList writesIn(const QStringList &log)
{
    return linesStartingWith(log, QStringLiteral("SET DESCRIPTOR")) +
        linesStartingWith(log, QStringLiteral("SET FILE_CREATE"));
}

struct DiffRow {
    const char *name;
    int type;
    // Descriptor changes on the device after the backup ("Name=value").
    QStringList changes;
    // The button pressed in the table of differences.
    const char *button;
    // What the device receives then.
    QStringList writes;
};

// clang-format off
const DiffRow diffRows[] = {
    {"loudspeaker cancelled", DeviceType::Horn, {"MaxVolume=31", "NetMask=255.255.0.0"}, "Отмена", {}},
    {"loudspeaker confirmed", DeviceType::Horn, {"MaxVolume=31", "NetMask=255.255.0.0"}, "Записать",
     {"SET DESCRIPTOR desc_NetMask 255.0.0.0", "SET DESCRIPTOR desc_MaxVolume 80"}},
    {"central unit confirmed", DeviceType::Tovik2, {"DevRole=БР4", "OutputAssign02[1]=+"}, "Записать",
     {"SET DESCRIPTOR desc_DevRole 0", "SET DESCRIPTOR desc_OutputAssign02[1] 0"}},
};

struct FailureRow {
    const char *name;
    // Restore a backup (after the value changed on the device) rather than save one.
    bool restore;
    // The fault set on the device before the command.
    const char *fault;
    // The message shown, whatever the job's log line says.
    const char *text;
};

const FailureRow failureRows[] = {
    {"save, a read refused", false, "fail=1:GET DESCRIPTOR desc_MaxVolume",
     "Конфигурация не сохранена: её не удалось прочитать из устройства.\n"
     "Параметры устройства не прочитаны."},
    {"save, the link lost", false, "drop=1:GET DESCRIPTOR desc_MaxVolume",
     "Конфигурация не сохранена: её не удалось прочитать из устройства.\n"
     "Связь с устройством потеряна."},
    {"restore, a read refused", true, "fail=1:GET DESCRIPTOR desc_MaxVolume",
     "Конфигурацию устройства не удалось прочитать. Ничего не записано.\n"
     "Параметры устройства не прочитаны."},
    {"restore, a write refused", true, "fail=1:SET DESCRIPTOR desc_MaxVolume",
     "Конфигурация восстановлена не полностью: записано отличий: 0.\n"
     "Устройство не приняло значение параметра."},
};
// clang-format on

} // namespace

Q_DECLARE_METATYPE(DiffRow)
Q_DECLARE_METATYPE(FailureRow)

class TestBackupMenu : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // The menu is there from the start; its commands only while the device is connected.
    void offeredWhileConnected()
    {
        open(DeviceType::Horn, 1001);
        QAction *save = action("actionSaveConfiguration");
        QAction *restore = action("actionRestoreConfiguration");
        QVERIFY(save && restore);
        QTRY_VERIFY_WITH_TIMEOUT(save->isEnabled() && restore->isEnabled(), 15000);
        harness->unplug(rig->sim);
        QTRY_VERIFY_WITH_TIMEOUT(!save->isEnabled() && !restore->isEnabled(), 15000);
    }

    void differences_data() { TestUtil::addRows(diffRows); }

    // Save, change the device, restore: the table shows the differences; "Отмена" writes
    // nothing, "Записать" writes exactly the differences and ends in one message.
    void differences()
    {
        QFETCH(DiffRow, row);
        open(row.type, row.type == DeviceType::Horn ? 1002 : 2003);
        const QString path = saveBackup();
        QVERIFY(!path.isEmpty());

        harness->run([&] {
            for (const QString &change : row.changes)
                rig->sim->descriptors.insert(change.section('=', 0, 0), change.section('=', 1));
        });
        harness->clearLog(rig->sim);
        const int before = boxes->boxes.size();

        QStringList shown;
        auto answered = onNextModal<BackupDiffDialog>([&](BackupDiffDialog *dialog) {
            auto *table = dialog->findChild<QTableWidget *>("tableDifferences");
            for (int r = 0; table && r < table->rowCount(); ++r)
                shown << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" +
                        table->item(r, 2)->text();
            for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                if (button->text() == QString::fromUtf8(row.button))
                    button->click();
            }
        });
        auto chosen = acceptFileDialog(path);
        action("actionRestoreConfiguration")->trigger();
        QVERIFY(*chosen);
        QTRY_VERIFY_WITH_TIMEOUT(*answered, 15000);
        QCOMPARE(shown.size(), row.changes.size());
        for (const QString &change : row.changes)
            QVERIFY2(shown.join(';').contains(change.section('=', 0, 0) + "|" +
                                              change.section('=', 1) + "|"),
                     qPrintable(shown.join(';')));

        if (row.writes.isEmpty()) {
            // Nothing follows a cancel: the next exchange comes after whatever would have.
            QVERIFY(roundTrip(rig->window));
            QCOMPARE(boxes->boxes.size(), before);
        } else {
            QVERIFY(boxes->waitFor(before + 1, 15000));
            QCOMPARE(boxes->boxes.last().text,
                     QStringLiteral("Конфигурация восстановлена: записано отличий: %1.")
                         .arg(row.writes.size()));
            QVERIFY(roundTrip(rig->window));
            QCOMPARE(boxes->boxes.size(), before + 1);
        }
        QCOMPARE(writesIn(harness->requestLog(rig->sim)), row.writes);
    }

    void failuresInRussian_data() { TestUtil::addRows(failureRows); }

    // A command that fails says why in Russian, by how the job ended; the job's own English
    // line goes to the log only.
    void failuresInRussian()
    {
        QFETCH(FailureRow, row);
        open(DeviceType::Horn, 1004);
        QString path = dir.filePath(QStringLiteral("failed-%1.json").arg(++count));
        if (row.restore) {
            path = saveBackup();
            QVERIFY(!path.isEmpty());
            harness->run([&] { rig->sim->descriptors.insert("MaxVolume", "31"); });
        }
        harness->setFault(rig->sim, QString::fromUtf8(row.fault));
        const int before = boxes->boxes.size();
        // Past the table of differences, when there is one.
        auto confirmed = onNextModal<BackupDiffDialog>([](BackupDiffDialog *dialog) {
            for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                if (button->text() == QStringLiteral("Записать"))
                    button->click();
            }
        });
        auto chosen = acceptFileDialog(path);
        action(row.restore ? "actionRestoreConfiguration" : "actionSaveConfiguration")->trigger();
        QVERIFY(*chosen);
        const QString text = QString::fromUtf8(row.text);
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (int i = before; i < boxes->boxes.size(); ++i) {
                    if (boxes->boxes.at(i).title == QStringLiteral("Ошибка"))
                        return true;
                }
                return false;
            },
            20000));
        QStringList errors;
        for (int i = before; i < boxes->boxes.size(); ++i) {
            if (boxes->boxes.at(i).title == QStringLiteral("Ошибка"))
                errors << boxes->boxes.at(i).text;
        }
        QCOMPARE(errors, QStringList {text});
        QVERIFY2(!text.contains(QRegularExpression("[A-Za-z]")), qPrintable(text));
        if (row.restore && QString::fromUtf8(row.fault).contains("SET"))
            QVERIFY(*confirmed);
        harness->clearFaults(rig->sim);
    }

    void foreignBackups_data()
    {
        QTest::addColumn<bool>("otherType");
        QTest::addColumn<QString>("says");
        QTest::newRow("another serial number") << false << "№ 1999";
        QTest::newRow("another device type") << true << "другого типа";
    }

    // A backup of another serial number asks first, and "Нет" writes nothing; one of another
    // device type is refused with one message, before anything is read or written.
    void foreignBackups()
    {
        QFETCH(bool, otherType);
        QFETCH(QString, says);
        open(DeviceType::Horn, 1003);
        DeviceBackup backup;
        backup.typeCode = otherType ? DeviceType::Media : DeviceType::Horn;
        backup.typeKey = deviceTypeKey(backup.typeCode);
        backup.serial = otherType ? 1003 : 1999;
        backup.time = QDateTime::currentDateTimeUtc();
        backup.values.insert("MaxVolume", "10");
        const QString path = dir.filePath(QStringLiteral("foreign-%1.json").arg(otherType));
        QString error;
        QVERIFY2(backup.save(path, &error), qPrintable(error));
        harness->clearLog(rig->sim);

        boxes->answer = QStringLiteral("Нет");
        const int before = boxes->boxes.size();
        auto chosen = acceptFileDialog(path);
        action("actionRestoreConfiguration")->trigger();
        QVERIFY(*chosen);
        QVERIFY(boxes->waitFor(before + 1, 15000));
        QVERIFY2(boxes->boxes.last().text.contains(says), qPrintable(boxes->boxes.last().text));
        if (otherType)
            QCOMPARE(linesStartingWith(harness->requestLog(rig->sim), "GET DESCRIPTOR"),
                     QStringList());
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(boxes->boxes.size(), before + 1);
        QCOMPARE(writesIn(harness->requestLog(rig->sim)), QStringList());
    }

private:
    void open(int type, int serial)
    {
        rig = openRig(harness.get(), settings.get(), type, serial,
                      QStringLiteral("127.98.0.%1").arg(++address));
        QVERIFY(rig->window);
        QVERIFY(waitReadAll(harness.get(), rig.get(), 0, 15000));
    }

    QAction *action(const char *name)
    {
        return rig->window ? rig->window->findChild<QAction *>(QLatin1String(name)) : nullptr;
    }

    // Saves the device's configuration through the menu; the path, or empty on failure.
    QString saveBackup()
    {
        const QString path = dir.filePath(QStringLiteral("backup-%1.json").arg(++count));
        const int before = boxes->boxes.size();
        QAction *save = action("actionSaveConfiguration");
        if (!save || !QTest::qWaitFor([save] { return save->isEnabled(); }, 15000))
            return QString();
        auto chosen = acceptFileDialog(path);
        save->trigger();
        if (!*chosen || !boxes->waitFor(before + 1, 15000) ||
            boxes->boxes.last().text !=
                QStringLiteral("Конфигурация сохранена в файл %1.").arg(path))
            return QString();
        DeviceBackup saved;
        QString error;
        if (!DeviceBackup::load(path, &saved, &error) || saved.serial != quint32(rig->sim->serial))
            return QString();
        return path;
    }

    int count = 0;
    int address = 1;
};

NORDA_GUI_TEST_MAIN(TestBackupMenu)
#include "tst_backupmenu.moc"
