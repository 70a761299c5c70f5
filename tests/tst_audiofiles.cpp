// The audio files of the IP console's window against a simulated console: uploads (whole,
// cancelled, refused, cut short by closing the window), the signal assignments of the
// device's config.ini, deleting, erasing and formatting, and the key configuration.

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"

#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/outlink.h"

#include <QDir>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTextCodec>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

const QString cyrillicName = QStringLiteral("Сирена, тест; 1.wav");

// Uploads refused by the device: the fault, the one message, and the lines that follow the
// "SET FILE_CREATE" of the upload.
struct RefusedUploadRow {
    const char *name;
    const char *fault;
    const char *message;
    QStringList after; // "W" stands for a block
};

struct FileCommandRow {
    const char *name;
    const char *button;
    const char *answer; // the confirmation's button
    QStringList sent; // what the device receives, then the folder and config.ini are read
    QStringList rows; // the table afterwards
    QStringList boxes;
};

QStringList rowsOf(QTableWidget *table)
{
    QStringList rows;
    for (int i = 0; i < table->rowCount(); ++i)
        rows << table->item(i, 0)->text();
    return rows;
}

// Blocks become "W" so that the shape of an upload can be compared.
QStringList shape(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : withoutStatus(log))
        lines << (line.startsWith(QLatin1String("SET FILE_WRITE ")) ? QStringLiteral("W") : line);
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(RefusedUploadRow)
Q_DECLARE_METATYPE(FileCommandRow)

class TestAudioFiles : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // A file of 1300 bytes with a Cyrillic name holding a comma and a semicolon goes in
    // three blocks, byte for byte, and the folder and config.ini are read again after it.
    void upload()
    {
        open();
        const QByteArray bytes = TestUtil::randomBytes(1300);
        QTemporaryDir source;
        const QString path = source.filePath(cyrillicName);
        QVERIFY(TestUtil::writeFile(path, bytes));
        const int from = harness->requestLog(rig->sim).size();

        auto seen = std::make_shared<GuiTest::FileDialogSeen>();
        auto accepted = GuiTest::acceptFileDialog(path, seen);
        widget<QPushButton>(rig->window, "pushButtonLoadCustomFile")->click();
        QVERIFY(*accepted);
        QCOMPARE(seen->filters, QStringList {QStringLiteral("Звуковые файлы (*.wav *.mp3)")});
        QCOMPARE(seen->directory, QCoreApplication::applicationDirPath());
        // The upload's close, then the download's.
        QTRY_COMPARE(withoutStatus(harness->requestLog(rig->sim).mid(from)).count("SET FILE_CLOSE"),
                     2);
        QVERIFY(waitReadAll(harness.get(), rig.get(), from));

        const QString devicePath = QStringLiteral("0:\\audio\\") + cyrillicName;
        QStringList expected {QStringLiteral("SET FILE_CREATE ") + devicePath};
        for (int at = 0; at < 1300; at += 512)
            expected << QStringLiteral("SET FILE_WRITE ") +
                    QString::fromLatin1(bytes.mid(at, 512).toHex().toUpper());
        expected << QStringLiteral("SET FILE_CLOSE");
        expected += configReads;
        QCOMPARE(withoutStatus(harness->requestLog(rig->sim).mid(from)), expected);
        QByteArray stored;
        SimCommandDevice *device = harness->command(rig->sim);
        harness->run([&] { stored = device->files.file(devicePath); });
        QCOMPARE(stored, bytes);
        QTRY_VERIFY(rowsOf(table()).contains(QStringLiteral("flash:\\audio\\") + cyrillicName));
        QCOMPARE(widget<QLabel>(rig->window, "labelAudioFileCount")->text(),
                 QStringLiteral("Количество файлов: 3"));
        QCOMPARE(rig->window->progressDialog()->labelText(),
                 QStringLiteral("Запись аудиофайла..."));
        QVERIFY(!rig->window->progressDialog()->isVisible());
        QCOMPARE(settings->value("paths/audiofilespath").toString(), source.path());
        QVERIFY(boxes->boxes.isEmpty());
    }

    void refusedUploads_data()
    {
        // clang-format off
        TestUtil::addRows<RefusedUploadRow>({
            {"refused create", "fail=1:SET FILE_CREATE", "Ошибка создания файла.", {"SET FILE_RESET"}},
            {"refused block", "fail=1@1:SET FILE_WRITE", "Ошибка записи файла.", {"W", "W", "SET FILE_RESET"}},
            {"refused close", "fail=1:SET FILE_CLOSE", "Ошибка записи файла.", {"W", "W", "W", "SET FILE_CLOSE", "SET FILE_RESET"}},
        });
        // clang-format on
    }

    // A refused upload is one error and one reset of the device's transfer; the folder is
    // not read again.
    void refusedUploads()
    {
        QFETCH(RefusedUploadRow, row);
        open();
        harness->setFault(rig->sim, QString::fromLatin1(row.fault));
        QTemporaryDir source;
        const QString path = source.filePath(QStringLiteral("siren2.wav"));
        QVERIFY(TestUtil::writeFile(path, TestUtil::randomBytes(1300)));
        const int from = harness->requestLog(rig->sim).size();
        auto accepted = GuiTest::acceptFileDialog(path);
        widget<QPushButton>(rig->window, "pushButtonLoadCustomFile")->click();
        QVERIFY(*accepted);
        QVERIFY(boxes->waitFor(1));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(boxes->texts(), QStringList {QStringLiteral("Ошибка: ") + row.message});
        const QStringList wire = shape(harness->requestLog(rig->sim).mid(from));
        QCOMPARE(wire,
                 QStringList {"SET FILE_CREATE 0:\\audio\\siren2.wav"} + row.after +
                     QStringList {"GET DESCRIPTOR desc_SerialNumber"});
        QVERIFY(!rig->window->progressDialog()->isVisible());
    }

    void cancelledUploads_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("progress dialog cancelled") << false;
        QTest::newRow("window closed") << true;
    }

    // Cancelling an upload, or closing the window during one, stops it after the block in
    // flight and resets the device's transfer before the window goes; no file is closed.
    void cancelledUploads()
    {
        QFETCH(bool, closeWindow);
        open();
        QTemporaryDir source;
        const QString path = source.filePath(QStringLiteral("long.wav"));
        QVERIFY(TestUtil::writeFile(path, TestUtil::randomBytes(512 * 200)));
        harness->setFault(rig->sim, QStringLiteral("delay=5"));
        const int from = harness->requestLog(rig->sim).size();
        auto accepted = GuiTest::acceptFileDialog(path);
        widget<QPushButton>(rig->window, "pushButtonLoadCustomFile")->click();
        QVERIFY(*accepted);
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).filter("SET FILE_WRITE").size() >= 3);
        QVERIFY(rig->window->progressDialog()->isVisible());
        QCOMPARE(rig->window->progressDialog()->maximum(), 512 * 200);

        QPointer<AudioDeviceWindow> window = rig->window;
        if (closeWindow) {
            window->close();
            QVERIFY(window);
            QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000);
        } else {
            auto *cancel = rig->window->progressDialog()->findChild<QPushButton *>();
            QVERIFY(cancel);
            cancel->click();
            QVERIFY(boxes->waitFor(1));
            QCOMPARE(boxes->texts(), QStringList {"Ошибка: Отмена записи файла."});
        }
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).contains("SET FILE_RESET"));
        const QStringList wire = shape(harness->requestLog(rig->sim).mid(from));
        const int reset = wire.indexOf("SET FILE_RESET");
        QVERIFY(wire.mid(1, reset - 1).count("W") >= 3);
        QCOMPARE(wire.mid(1, reset - 1).count("W"), reset - 1);
        QVERIFY(wire.mid(1, reset - 1).count("W") < 200);
        QCOMPARE(wire.count("SET FILE_RESET"), 1);
        QVERIFY(!wire.contains("SET FILE_CLOSE"));
        if (!closeWindow) {
            QVERIFY(roundTrip(rig->window));
            QCOMPARE(boxes->boxes.size(), 1);
            QVERIFY(!rig->window->progressDialog()->isVisible());
        } else {
            QVERIFY(boxes->boxes.isEmpty());
        }
    }

    // The assignments shown come from the device's config.ini; choosing a signal takes it
    // from the other row, and "Применить" changes only file_1 and file_2 of the console's
    // group: every other line of the file stays, byte for byte.
    void assignments()
    {
        const QByteArray original = "; written by the installer\r\n"
                                    "[network]\r\n"
                                    "mode=2 ; static\r\n"
                                    "[audiofiles]\r\n"
                                    "volume=5\r\n"
                                    "file_1=0:\\\\audio\\\\siren.wav\r\n"
                                    "[other]\r\n"
                                    "x=1\r\n";
        open([this, original](SimDevice *device) {
            SimCommandDevice *command = harness->command(device);
            harness->run([&] {
                SimFileSystem &files = command->files;
                files.store(QStringLiteral("0:\\config.ini"), original);
                QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
                files.store(QStringLiteral("0:\\audio\\") + cyrillicName,
                            codec->fromUnicode(cyrillicName));
            });
        });
        QTRY_COMPARE(signalOf("siren.wav"), 1);
        auto *apply = widget<QPushButton>(rig->window, "pushButtonApplyAssigns");
        // What came from the device is nothing to apply.
        QVERIFY(!apply->isEnabled());
        QCOMPARE(signalOf("gong.wav"), 0);
        QCOMPARE(signalOf(cyrillicName), 0);
        // A folder has no assignment.
        QVERIFY(!boxOf("custom"));

        boxOf("gong.wav")->setCurrentIndex(1);
        QCOMPARE(signalOf("siren.wav"), 0);
        QVERIFY(apply->isEnabled());
        boxOf(cyrillicName)->setCurrentIndex(2);
        boxOf("siren.wav")->setCurrentIndex(2);
        QCOMPARE(signalOf(cyrillicName), 0);
        QCOMPARE(signalOf("gong.wav"), 1);
        boxOf(cyrillicName)->setCurrentIndex(2);
        QCOMPARE(signalOf("siren.wav"), 0);

        const int from = harness->requestLog(rig->sim).size();
        apply->click();
        QTRY_VERIFY(withoutStatus(harness->requestLog(rig->sim).mid(from))
                        .contains("SET FILE_OPEN 0:\\config.ini"));
        QTRY_VERIFY(!apply->isEnabled() && !rig->window->facade()->isFileTransferPending());
        QByteArray stored;
        SimCommandDevice *device = harness->command(rig->sim);
        harness->run([&] { stored = device->files.file("0:\\config.ini"); });
        QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
        const QByteArray expected = "; written by the installer\r\n"
                                    "[network]\r\n"
                                    "mode=2 ; static\r\n"
                                    "[audiofiles]\r\n"
                                    "volume=5\r\n"
                                    "file_1=0:\\\\audio\\\\gong.wav\r\n" +
            codec->fromUnicode(QStringLiteral("file_2=\"0:\\\\audio\\\\") + cyrillicName +
                               QStringLiteral("\"\r\n")) +
            "[other]\r\n"
            "x=1\r\n";
        QCOMPARE(stored, expected);

        // Another reader of INI files reads the same.
        const QString copy = dir.filePath(QStringLiteral("config-copy.ini"));
        QVERIFY(TestUtil::writeFile(copy, stored));
        QSettings ini(copy, QSettings::IniFormat);
        ini.setIniCodec("Windows-1251");
        QCOMPARE(ini.value("audiofiles/file_1").toString(), QString("0:\\audio\\gong.wav"));
        QCOMPARE(ini.value("audiofiles/file_2").toString(),
                 QStringLiteral("0:\\audio\\") + cyrillicName);
        QCOMPARE(ini.value("audiofiles/volume").toString(), QString("5"));
        QCOMPARE(ini.value("other/x").toString(), QString("1"));

        // The window shows what the device holds now.
        QCOMPARE(signalOf("gong.wav"), 1);
        QCOMPARE(signalOf(cyrillicName), 2);
        QCOMPARE(signalOf("siren.wav"), 0);
        QVERIFY(boxes->boxes.isEmpty());
    }

    void fileCommands_data()
    {
        const QString custom = "flash:\\audio\\custom", gong = "flash:\\audio\\gong.wav",
                      siren = "flash:\\audio\\siren.wav";
        const QString erase =
            "Удаление файлов: Все звуковые файлы в устройстве будут удалены.\nВы уверены?";
        // clang-format off
        TestUtil::addRows<FileCommandRow>({
            {"delete", "pushButtonDeleteAudioFile", "", {"SET FILE_DELETE 0:\\audio\\gong.wav"}, {custom, siren}, {}},
            {"erase all", "pushButtonEraseAllAudioFiles", "Да, стереть", {"SET DIR_CLEAR 0:\\audio"}, {custom}, {erase}},
            {"erase all, not confirmed", "pushButtonEraseAllAudioFiles", "Отмена", {}, {custom, gong, siren}, {erase}},
            {"format", "pushButtonWriteCardFormatting", "Да, отформатировать", {"SET DESCRIPTOR desc_NorFormatCmd 1"}, {},
             {"Форматирование энергонезависимой памяти: Память будет отформатирована.\nВсе файлы будут удалены.\nВы уверены?",
              "Запись выполнена: Память отформатирована."}},
        });
        // clang-format on
    }

    // Deleting, erasing and formatting: after the device's answer the folder and config.ini
    // are read again, so that the table shows what is left.
    void fileCommands()
    {
        QFETCH(FileCommandRow, row);
        open();
        QTRY_COMPARE(table()->rowCount(), 3);
        boxes->answer = QString::fromUtf8(row.answer);
        if (QString::fromLatin1(row.button) == QLatin1String("pushButtonDeleteAudioFile")) {
            QVERIFY(!widget<QPushButton>(rig->window, row.button)->isEnabled());
            table()->selectRow(rowOf(QStringLiteral("gong.wav")));
            QVERIFY(widget<QPushButton>(rig->window, row.button)->isEnabled());
        }
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, row.button)->click();
        if (!row.sent.isEmpty()) {
            // A formatted flash has no config.ini: its download is refused and reset.
            const bool formatted = row.sent.first().contains("NorFormatCmd");
            const QStringList reread = formatted
                ? QStringList {"GET FILE_LIST 0:\\audio", "SET FILE_OPEN 0:\\config.ini",
                               "SET FILE_RESET"}
                : configReads;
            QTRY_COMPARE(withoutStatus(harness->requestLog(rig->sim).mid(from)), row.sent + reread);
        }
        QVERIFY(roundTrip(rig->window));
        QTRY_COMPARE(rowsOf(table()), row.rows);
        QCOMPARE(boxes->texts(), row.boxes);
        if (!row.boxes.isEmpty()) {
            QCOMPARE(boxes->boxes.first().icon, QMessageBox::Warning);
            QCOMPARE(boxes->boxes.first().buttons.size(), 2);
        }
    }

    // A listing fails by the worker's code alone: a file whose name begins with "ERROR",
    // first in the folder, is a file like any other.
    void listingWithAnErrorName()
    {
        open([this](SimDevice *device) {
            SimCommandDevice *command = harness->command(device);
            harness->run([command] {
                // No subfolder, which would be listed first.
                const QByteArray config = command->files.file(QStringLiteral("0:\\config.ini"));
                command->files.format(QStringLiteral("0:"));
                command->files.store(QStringLiteral("0:\\config.ini"), config);
                command->files.store(QStringLiteral("0:\\audio\\ERROR_beep.wav"),
                                     QByteArray(100, 'x'));
                command->files.store(QStringLiteral("0:\\audio\\siren.wav"), QByteArray(100, 'y'));
            });
        });
        QTRY_VERIFY(rowsOf(table()).contains(QStringLiteral("flash:\\audio\\ERROR_beep.wav")));
        QVERIFY(rowsOf(table()).contains(QStringLiteral("flash:\\audio\\siren.wav")));
        QVERIFY(boxes->texts().isEmpty());
    }

    void keys_data()
    {
        QTest::addColumn<QString>("targetAddress");
        QTest::addColumn<QString>("error");
        QTest::newRow("built from the project") << "127.81.2.9"
                                                << "";
        QTest::newRow("a target address that is not four decimal numbers")
            << "127.81.2"
            << "Конфигурация кнопок не записана: её нельзя построить из проекта.";
    }

    // "Записать кнопки в устройство" uploads the key image built from the project to the
    // console's key file, with no local copy; an image that cannot be built is an error and
    // nothing is uploaded.
    void keys()
    {
        QFETCH(QString, targetAddress);
        QFETCH(QString, error);
        open();
        auto *target = GuiTest::makeDevice(DeviceType::Norda4200, 777, false, 0, targetAddress);
        rig->project->addDevice(nullptr, target);
        InOut *button = nullptr;
        for (InOut *io : rig->device->inouts) {
            if (io->type == InOutType::Button) {
                button = io;
                break;
            }
        }
        QVERIFY(button);
        button->name = QStringLiteral("Пожар");
        button->outlinks.append(OutLink {target->id_obj, {1, 2, 8}});
        const int from = harness->requestLog(rig->sim).size();

        widget<QPushButton>(rig->window, "pushButtonWriteKeys")->click();
        if (!error.isEmpty()) {
            QVERIFY(boxes->waitFor(1));
            QVERIFY(roundTrip(rig->window));
            QVERIFY2(boxes->boxes.first().text.startsWith(error),
                     qPrintable(boxes->boxes.first().text));
            QCOMPARE(harness->requestLog(rig->sim).mid(from).filter("FILE_"), QStringList());
            return;
        }
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(),
                 QStringList {"Выполнено: Конфигурация кнопок записана в устройство."});
        QByteArray image;
        QVERIFY(keyConfigImage(rig->device, &image));
        QByteArray stored;
        SimCommandDevice *device = harness->command(rig->sim);
        harness->run([&] { stored = device->files.file("0:\\keys\\key_cfg.bin"); });
        QCOMPARE(stored, image);
        QCOMPARE(harness->requestLog(rig->sim).mid(from).first(),
                 QStringLiteral("SET FILE_CREATE 0:\\keys\\key_cfg.bin"));
    }

protected:
    void initFunction() override
    {
        work = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(work->isValid());
    }

    void cleanupFunction() override
    {
        // Nothing of a device's files is ever written to the working folder.
        QCOMPARE(QDir(work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
        work.reset();
    }

private:
    void open(const std::function<void(SimDevice *)> &before = nullptr)
    {
        ++addressCount;
        rig = openRig(harness.get(), settings.get(), DeviceType::IpPult, 20000 + addressCount,
                      QStringLiteral("127.81.2.%1").arg(addressCount), 1000, before);
        QVERIFY(rig->window);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
    }

    QTableWidget *table() const { return widget<QTableWidget>(rig->window, "tableAudioFiles"); }

    int rowOf(const QString &name) const
    {
        return rowsOf(table()).indexOf(QStringLiteral("flash:\\audio\\") + name);
    }
    QComboBox *boxOf(const QString &name) const
    {
        const int row = rowOf(name);
        return row < 0 ? nullptr : qobject_cast<QComboBox *>(table()->cellWidget(row, 2));
    }
    int signalOf(const QString &name) const
    {
        QComboBox *box = boxOf(name);
        return box ? box->currentData().toInt() : -1;
    }

    std::unique_ptr<TestUtil::WorkDir> work;
    int addressCount = 1;
};

NORDA_GUI_TEST_MAIN(TestAudioFiles)
#include "tst_audiofiles.moc"
