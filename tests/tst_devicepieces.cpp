#include "link/assignmentconfig.h"
#include "link/devicepaths.h"
#include "link/filelisting.h"
#include "link/initext.h"
#include "link/statusanswer.h"
#include "link/tovikstatus.h"
#include "testutil.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

QByteArray cp1251(const QString &text)
{
    return QTextCodec::codecForName("Windows-1251")->fromUnicode(text);
}

struct StatusRow {
    const char *name;
    const char *answer;
    bool valid;
    int type, version;
    bool storage;
    int status;
    qint64 total, free;
};

struct TovikStatusRow {
    const char *name;
    const char *answer;
    bool valid;
    bool hasConsoles;
    quint64 consoles;
    bool hasPpk;
    quint64 ppk;
};

struct TimeRow {
    const char *name;
    const char *text;
    const char *expected; // ISO, or null when invalid
};

struct ReadRow {
    const char *name;
    QByteArray ini;
    const char *group;
    QString file1, file2;
    // QSettings reads the same (an unquoted comma makes it read a list instead).
    bool asQSettings;
};

struct WriteRow {
    const char *name;
    QByteArray ini;
    const char *group;
    QString file1, file2;
    QByteArray expected;
};

// The files of the rows in a temporary folder, read through QSettings as the old program
// read them.
class SettingsFile {
public:
    explicit SettingsFile(const QByteArray &bytes)
    {
        TestUtil::writeFile(path, bytes);
        settings.reset(new QSettings(path, QSettings::IniFormat));
        settings->setIniCodec("Windows-1251");
    }
    QVariant value(const QString &key) const { return settings->value(key); }
    QStringList keys() const { return settings->allKeys(); }
    QSettings::Status status() const { return settings->status(); }

private:
    QTemporaryDir dir;
    QString path = dir.filePath("config.ini");
    std::unique_ptr<QSettings> settings;
};

} // namespace

Q_DECLARE_METATYPE(StatusRow)
Q_DECLARE_METATYPE(TovikStatusRow)
Q_DECLARE_METATYPE(TimeRow)
Q_DECLARE_METATYPE(ReadRow)
Q_DECLARE_METATYPE(WriteRow)

class TestDevicePieces : public QObject {
    Q_OBJECT

private slots:
    void statusAnswer_data()
    {
        const StatusRow rows[] = {
            // name, answer, valid, type, version, storage, status, total, free
            {"loudspeaker", "horn 1001,1.0,0,0,0,0,2,16777216,1572864", true, 7, 100, true, 2,
             16777216, 1572864},
            {"line end and blanks", " ip_pult 5 , 2.15 ,0,0,0,0, 3 , 100 , 50 \r\n", true, 8, 215,
             true, 3, 100, 50},
            {"exactly eight fields", "media 9,3.7,0,0,0,0,2,1000", true, 9, 307, false, 0, 0, 0},
            {"fields that are not numbers", "media,3.x,a,b,c,d,zz,-5,12", true, 9, 300, true, 0, 0,
             12},
            {"unknown type key", "speaker 1,1.2,0,0,0,0,2,10,5", true, 0, 102, true, 2, 10, 5},
            {"version without minor", "horn,4,0,0,0,0,2,10,5", true, 7, 400, true, 2, 10, 5},
            {"version beyond 16 bits", "horn,700.1", true, 7, 0, false, 0, 0, 0},
            {"64-bit sizes", "horn,1.0,0,0,0,0,2,68719476736,34359738368", true, 7, 100, true, 2,
             qint64(1) << 36, qint64(1) << 35},
            {"error", "ERROR\r\n", false, 0, 0, false, 0, 0, 0},
            {"timeout", "ERROR TIMEOUT", false, 0, 0, false, 0, 0, 0},
            {"error with fields", "ERROR,1,2,3,4,5,6,7,8", false, 0, 0, false, 0, 0, 0},
            {"one field", "horn 1001", false, 0, 0, false, 0, 0, 0},
            {"empty", "", false, 0, 0, false, 0, 0, 0},
        };
        TestUtil::addRows(rows);
    }

    void statusAnswer()
    {
        QFETCH(StatusRow, row);
        const StatusAnswer status = StatusAnswer::parse(QString::fromLatin1(row.answer));
        QCOMPARE(status.valid, row.valid);
        QCOMPARE(status.typeCode, row.type);
        QCOMPARE(status.version, row.version);
        QCOMPARE(status.hasStorage, row.storage);
        QCOMPARE(status.storageStatus, row.status);
        QCOMPARE(status.storageTotal, row.total);
        QCOMPARE(status.storageFree, row.free);
    }

    void storageLabel_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("label");
        QTest::newRow("no errors") << 2 << "Флэш-память: ошибок нет, свободно 1,50 МБ из 16,00 МБ.";
        QTest::newRow("absent, no sizes") << 4 << "Флэш-память: карта отсутствует.";
        QTest::newRow("a code the devices do not report") << 9 << "Флэш-память: неизвестно.";
    }

    void storageLabel()
    {
        QFETCH(int, status);
        QFETCH(QString, label);
        QCOMPARE(StatusAnswer::storageLabel(status, 16 * 1024 * 1024, 1536 * 1024), label);
    }

    void paths_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("display");
        QTest::newRow("flash") << "0:\\audio\\a.wav"
                               << "flash:\\audio\\a.wav";
        QTest::newRow("card") << "1:\\audio\\a.wav"
                              << "SD:\\audio\\a.wav";
        QTest::newRow("unit alone") << "0:"
                                    << "flash:";
        QTest::newRow("other unit") << "2:\\a.wav"
                                    << "2:\\a.wav";
        QTest::newRow("unit inside") << "x0:\\a"
                                     << "x0:\\a";
    }

    void paths()
    {
        QFETCH(QString, device);
        QFETCH(QString, display);
        QCOMPARE(DevicePaths::toDisplay(device), display);
        QCOMPARE(DevicePaths::toDevice(display), device);
    }

    // A listing becomes rows: folders and files shown under "flash:", sizes only for
    // files of at least one byte.
    void fileRows()
    {
        const QVector<DevicePaths::Row> rows = DevicePaths::rows(
            FileListing::parse(DevicePaths::audioFolder,
                               QStringLiteral("/custom\r\ngong.wav\t1024\r\nempty.wav\t0\r\n"
                                              "nosize.wav\r\nСирена.wav\t1572864\r\n\r\n")));
        QStringList shown;
        for (const DevicePaths::Row &row : rows) {
            shown << row.displayPath + QLatin1Char('|') + row.sizeText;
            QCOMPARE(DevicePaths::toDevice(row.displayPath), row.devicePath);
        }
        QCOMPARE(shown,
                 QStringList({"flash:\\audio\\custom|", "flash:\\audio\\gong.wav|1,00 КБ",
                              "flash:\\audio\\empty.wav|", "flash:\\audio\\nosize.wav|",
                              "flash:\\audio\\Сирена.wav|1,50 МБ"}));
        QVERIFY(rows.at(0).folder);
        QCOMPARE(rows.at(1).devicePath, DevicePaths::audioFile("gong.wav"));
    }

    void readAssignments_data()
    {
        const ReadRow rows[] = {
            {"as the device keeps it", "[pult_files]\r\nfile_1=0:\\\\audio\\\\siren.wav\r\n",
             "pult_files", "0:\\audio\\siren.wav", "", true},
            {"LF line ends, both keys", "[audiofiles]\nfile_2=0:\\\\audio\\\\b.wav\nfile_1=a\n",
             "audiofiles", "a", "0:\\audio\\b.wav", true},
            {"Cyrillic name",
             "[pult_files]\r\nfile_1=0:\\\\audio\\\\" + cp1251("Сирена ё.wav") + "\r\n",
             "pult_files", "0:\\audio\\Сирена ё.wav", "", true},
            {"quoted comma and semicolon",
             "[pult_files]\r\nfile_1=\"0:\\\\audio\\\\a, b.wav\"\r\n"
             "file_2=\"0:\\\\audio\\\\x;y.wav\"\r\n",
             "pult_files", "0:\\audio\\a, b.wav", "0:\\audio\\x;y.wav", true},
            {"comments, blanks round the key",
             "; settings\r\n[pult_files]\r\n; signal 1\r\n"
             "  file_1 =  0:\\\\a.wav   ; old\r\n",
             "pult_files", "0:\\a.wav", "", true},
            {"escapes", "[pult_files]\nfile_1=0:\\\\a\\\"q\\\".wav\nfile_2=\\x41\\102C\n",
             "pult_files", "0:\\a\"q\".wav", "ABC", true},
            {"another group's keys", "[audiofiles]\r\nfile_1=a\r\n[pult_files]\r\nvolume=1\r\n",
             "pult_files", "", "", true},
            {"repeated key and group", "[pult_files]\nfile_1=a\n[x]\n[pult_files]\nfile_1=b\n",
             "pult_files", "b", "", true},
            {"no file", "", "pult_files", "", "", true},
            {"unquoted comma", "[pult_files]\nfile_1=0:\\\\a,b.wav\n", "pult_files", "0:\\a,b.wav",
             "", false},
        };
        TestUtil::addRows(rows);
    }

    void readAssignments()
    {
        QFETCH(ReadRow, row);
        AssignmentConfig config(QString::fromLatin1(row.group));
        config.setDownloaded(row.ini);
        QCOMPARE(config.assignment(1), row.file1);
        QCOMPARE(config.assignment(2), row.file2);
        if (row.asQSettings) {
            const SettingsFile settings(row.ini);
            const QString group = QString::fromLatin1(row.group);
            QCOMPARE(settings.value(group + "/file_1").toString(), row.file1);
            QCOMPARE(settings.value(group + "/file_2").toString(), row.file2);
        }
    }

    void writeAssignments_data()
    {
        const WriteRow rows[] = {
            {"only the two keys change",
             "; device settings\r\n[net]\r\nip=1\r\n\r\n[pult_files]\r\n"
             "file_1=0:\\\\audio\\\\old.wav\r\nvolume=5\r\nfile_2=0:\\\\audio\\\\b.wav\r\n"
             "\r\n[other]\r\nfile_1=keep\r\n",
             "pult_files", "0:\\audio\\new.wav", "",
             "; device settings\r\n[net]\r\nip=1\r\n\r\n[pult_files]\r\n"
             "file_1=0:\\\\audio\\\\new.wav\r\nvolume=5\r\n\r\n[other]\r\nfile_1=keep\r\n"},
            {"keys added after the group's last line, LF",
             "[pult_files]\nvolume=5\n; next\n\n[net]\nip=1\n", "pult_files", "0:\\audio\\a.wav",
             "0:\\audio\\b.wav",
             "[pult_files]\nvolume=5\nfile_1=0:\\\\audio\\\\a.wav\nfile_2=0:\\\\audio\\\\b.wav\n"
             "; next\n\n[net]\nip=1\n"},
            {"no file yet", "", "audiofiles", "0:\\audio\\a.wav", "",
             "[audiofiles]\r\nfile_1=0:\\\\audio\\\\a.wav\r\n"},
            {"group added", "[net]\r\nip=1", "pult_files", "", "0:\\audio\\b.wav",
             "[net]\r\nip=1\r\n\r\n[pult_files]\r\nfile_2=0:\\\\audio\\\\b.wav\r\n"},
            {"nothing assigned, no group", "[net]\nip=1\n", "pult_files", "", "", "[net]\nip=1\n"},
            {"Cyrillic, comma, semicolon", "[audiofiles]\r\nfile_1=x\r\n", "audiofiles",
             "0:\\audio\\Сирена, тревога.wav", "0:\\audio\\a;b.wav",
             "[audiofiles]\r\nfile_1=\"0:\\\\audio\\\\" + cp1251("Сирена, тревога.wav") +
                 "\"\r\nfile_2=\"0:\\\\audio\\\\a;b.wav\"\r\n"},
            {"repeated key, comment after the value",
             "[pult_files]\r\n  file_1=a ; old\r\nfile_1=b\r\n", "pult_files", "0:\\c.wav", "",
             "[pult_files]\r\n  file_1=0:\\\\c.wav; old\r\n"},
            {"both removed", "[pult_files]\r\nfile_1=a\r\nvolume=5\r\nfile_2=b\r\n", "pult_files",
             "", "", "[pult_files]\r\nvolume=5\r\n"},
            {"no line end at the end", "[pult_files]\r\nvolume=5", "pult_files", "0:\\a.wav", "",
             "[pult_files]\r\nvolume=5\r\nfile_1=0:\\\\a.wav"},
            {"blanks and quotes", "", "pult_files", " 0:\\a \"b\".wav ", "@x",
             "[pult_files]\r\nfile_1=\" 0:\\\\a \\\"b\\\".wav \"\r\nfile_2=@@x\r\n"},
        };
        TestUtil::addRows(rows);
    }

    // The new file is the old one with only the two keys changed, and QSettings reads the
    // assignments back from it, and every other key as it read it before.
    void writeAssignments()
    {
        QFETCH(WriteRow, row);
        const QString group = QString::fromLatin1(row.group);
        AssignmentConfig config(group);
        config.setDownloaded(row.ini);
        QByteArray written;
        QString error;
        QVERIFY2(config.compose(row.file1, row.file2, &written, &error), qPrintable(error));
        QCOMPARE(written, row.expected);

        AssignmentConfig back(group);
        back.setDownloaded(written);
        QCOMPARE(back.assignment(1), row.file1);
        QCOMPARE(back.assignment(2), row.file2);

        const SettingsFile before(row.ini);
        const SettingsFile after(written);
        QCOMPARE(after.status(), QSettings::NoError);
        QCOMPARE(after.value(group + "/file_1").toString(), row.file1);
        QCOMPARE(after.value(group + "/file_2").toString(), row.file2);
        QCOMPARE(after.value(group + "/file_1").isValid(), !row.file1.isEmpty());
        QStringList others = before.keys();
        others.removeAll(group + "/file_1");
        others.removeAll(group + "/file_2");
        for (const QString &key : qAsConst(others))
            QCOMPARE(after.value(key), before.value(key));
    }

    // What QSettings wrote (the old program's files) reads back here as it was written.
    void readsWhatQSettingsWrote_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "0:\\audio\\siren.wav";
        QTest::newRow("Cyrillic") << "0:\\audio\\Тревога ё.wav";
        QTest::newRow("comma") << "0:\\audio\\a,b.wav";
        QTest::newRow("semicolon") << "0:\\audio\\a;b.wav";
        QTest::newRow("equals, quotes, blanks") << " 0:\\a=\"b\" ";
        QTest::newRow("at sign") << "@0:\\a.wav";
    }

    void readsWhatQSettingsWrote()
    {
        QFETCH(QString, path);
        QTemporaryDir dir;
        const QString file = dir.filePath("config.ini");
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setIniCodec("Windows-1251");
            settings.setValue("net/ip", "1");
            settings.setValue("pult_files/file_2", path);
            settings.setValue("pult_files/volume", "5");
        }
        AssignmentConfig config(QStringLiteral("pult_files"));
        config.setDownloaded(TestUtil::readFile(file));
        QCOMPARE(config.assignment(2), path);
        QCOMPARE(config.assignment(1), QString());
        // And QSettings' file with the assignment changed by us equals QSettings' own.
        QByteArray written;
        QVERIFY(config.compose(QString(), path + "2", &written));
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setIniCodec("Windows-1251");
            settings.setValue("pult_files/file_2", path + "2");
        }
        QCOMPARE(written, TestUtil::readFile(file));
    }

    void refusedNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not in Windows-1251")
            << "0:\\audio\\音.wav"
            << "'0:\\audio\\音.wav' holds the character 音, which Windows-1251 cannot carry";
        QTest::newRow("control character") << "0:\\audio\\a\tb.wav"
                                           << "'0:\\audio\\a\tb.wav' holds a control character";
    }

    // A name that would not read back is refused, and the downloaded file stays as it was.
    void refusedNames()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        AssignmentConfig config(QStringLiteral("audiofiles"));
        const QByteArray ini = "[audiofiles]\r\nfile_1=a\r\n";
        config.setDownloaded(ini);
        QByteArray written("untouched");
        QString error;
        QVERIFY(!config.compose(QStringLiteral("0:\\ok.wav"), path, &written, &error));
        QCOMPARE(error, reason);
        QCOMPARE(written, QByteArray("untouched"));
        QCOMPARE(config.downloaded(), ini);
    }
    void tovikStatusFields_data()
    {
        TestUtil::addRows<TovikStatusRow>({
            {"all consoles off, 64 bits",
             "tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,12297829382473034410,0,0,0,0,0", true,
             true, 12297829382473034410ULL, true, 0},
            {"fire on PPK 1, line fault on PPK 8",
             "tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,1,0,32769,1,1,0", true, true, 1, true,
             0x8001},
            {"short answer: clock only", "tovik2 2002,1.0,1700000000", true, false, 0, false, 0},
            {"field 11 not a number", "tovik2 2002,1.0,1,3,3,512,2,1,1,0,0,-1,0,5", true, false, 0,
             true, 5},
            {"error answer", "ERROR", false, false, 0, false, 0},
        });
    }

    // Fields 11 to 16 are unsigned 64-bit; a group the answer does not reach is absent.
    void tovikStatusFields()
    {
        QFETCH(TovikStatusRow, row);
        const TovikStatus status = TovikStatus::parse(QString::fromLatin1(row.answer));
        QCOMPARE(status.valid, row.valid);
        QCOMPARE(status.hasConsoles, row.hasConsoles);
        QCOMPARE(status.consoles, row.consoles);
        QCOMPARE(status.hasPpk, row.hasPpk);
        QCOMPARE(status.ppk, row.ppk);
        if (row.valid)
            QCOMPARE(status.clock.toUTC(),
                     QDateTime::fromSecsSinceEpoch(
                         QString::fromLatin1(row.answer).section(',', 2, 2).toLongLong(), Qt::UTC));
    }

    void unitTime_data()
    {
        TestUtil::addRows<TimeRow>({
            {"two-digit year is 20yy", "10:15:00 01/03/24", "2024-03-01T10:15:00"},
            {"29 February 2000", "00:00:01 29/02/00", "2000-02-29T00:00:01"},
            {"last year of the century", "23:59:59 31/12/99", "2099-12-31T23:59:59"},
            {"four-digit year", "10:15:00 01/03/2024", nullptr},
            {"error", "ERROR", nullptr},
        });
    }

    void unitTime()
    {
        QFETCH(TimeRow, row);
        const QDateTime time = TovikStatus::parseUnitTime(QString::fromLatin1(row.text));
        if (!row.expected) {
            QVERIFY(!time.isValid());
            return;
        }
        QCOMPARE(time.toString(Qt::ISODate), QString::fromLatin1(row.expected));
        QCOMPARE(TovikStatus::unitTimeText(time), QString::fromLatin1(row.text));
    }

    // A value that runs on swallows the lines added after it: nothing is composed that would
    // not read back as written.
    void runOnValues_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("key");
        QTest::newRow("quote never closed, group added")
            << QByteArray("[net]\r\nname=\"abc\r\nip=1\r\n") << "file_2";
        QTest::newRow("backslash at the end")
            << QByteArray("[pult_files]\r\nvolume=5\\") << "file_1";
    }

    void runOnValues()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, key);
        AssignmentConfig config(QStringLiteral("pult_files"));
        config.setDownloaded(ini);
        QByteArray written("untouched");
        QString error;
        const QString path = QStringLiteral("0:\\audio\\a.wav");
        QVERIFY(!config.compose(key == "file_1" ? path : QString(),
                                key == "file_2" ? path : QString(), &written, &error));
        QCOMPARE(error,
                 "config.ini would not read " + key +
                     " back as written: a value before it runs on (a quote never closed, or a "
                     "backslash at the end of a line)");
        QCOMPARE(written, QByteArray("untouched"));
    }
};

QTEST_GUILESS_MAIN(TestDevicePieces)
#include "tst_devicepieces.moc"
