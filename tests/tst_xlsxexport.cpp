#include "journal/databaselog.h"
#include "journal/journalexporter.h"
#include "journal/journalexportjob.h"
#include "journal/xlsxjournal.h"
#include "journal/xlsxsheetwriter.h"
#include "monitor/journaldevices.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QDateTime created(QDate(2024, 3, 5), QTime(16, 20, 30));
const QDateTime base(QDate(2024, 3, 5), QTime(9, 0, 0));

// The layout of a spreadsheet as read back by openpyxl.
struct Sheet {
    QString name;
    bool gridlines = false;
    QStringList merged;
    QJsonObject widths;
    QJsonObject heights;
    int maxRow = 0;
    QHash<QString, QJsonObject> cells;

    QString text(const QString &ref) const { return cells.value(ref).value("value").toString(); }
    bool bold(const QString &ref) const { return cells.value(ref).value("bold").toBool(); }
    QString horizontal(const QString &ref) const
    {
        return cells.value(ref).value("horizontal").toString();
    }
    QString vertical(const QString &ref) const
    {
        return cells.value(ref).value("vertical").toString();
    }
    double width(const char *column) const { return widths.value(column).toDouble(); }
    double height(int row) const { return heights.value(QString::number(row)).toDouble(); }
};

QList<Sheet> readBack(const QString &path)
{
    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(NORDA_SOURCE_DIR "/tests/xlsxdump.py"), path});
    QList<Sheet> sheets;
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << "xlsxdump failed:" << python.readAllStandardError();
        return sheets;
    }
    const QJsonObject root = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    for (const QJsonValue &value : root.value("sheets").toArray()) {
        const QJsonObject object = value.toObject();
        Sheet sheet;
        sheet.name = object.value("name").toString();
        sheet.gridlines = object.value("gridlines").toBool();
        for (const QJsonValue &range : object.value("merged").toArray())
            sheet.merged << range.toString();
        sheet.widths = object.value("widths").toObject();
        sheet.heights = object.value("heights").toObject();
        sheet.maxRow = object.value("maxRow").toInt();
        for (const QJsonValue &cell : object.value("cells").toArray())
            sheet.cells.insert(cell.toObject().value("ref").toString(), cell.toObject());
        sheets.append(sheet);
    }
    return sheets;
}

// Widths are stored in the file with the padding of the character width added.
bool widthIs(double stored, double width)
{
    return stored >= width && stored < width + 1;
}

} // namespace

class TestXlsxExport : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void emptyDatabase()
    {
        {
            DatabaseLog log;
        }
        const JournalExporter::Outcome outcome =
            JournalExporter::exportFile("log.sqlite", {}, "empty.xlsx", created);
        QCOMPARE(outcome.result, JournalExporter::Result::Written);
        QCOMPARE(outcome.records, 0);
        const QList<Sheet> sheets = readBack("empty.xlsx");
        QCOMPARE(sheets.size(), 1);
        const Sheet &sheet = sheets.first();
        QCOMPARE(sheet.name, "Журнал");
        QVERIFY(sheet.gridlines);
        QCOMPARE(sheet.merged, (QStringList {"A1:C1", "A2:C2"}));
        QVERIFY(widthIs(sheet.width("A"), 20));
        QVERIFY(widthIs(sheet.width("B"), 40));
        QVERIFY(widthIs(sheet.width("C"), 80));

        QCOMPARE(sheet.text("A1"), "Журнал неисправностей");
        QVERIFY(sheet.bold("A1"));
        QCOMPARE(sheet.horizontal("A1"), "right");
        QCOMPARE(sheet.vertical("A1"), "center");
        QCOMPARE(sheet.text("A2"), "Время создания файла:16:20:30 05.03.2024.");
        QVERIFY(!sheet.bold("A2"));
        QVERIFY(!sheet.cells.contains("A3"));
        QCOMPARE(sheet.text("A4"), "Время");
        QCOMPARE(sheet.text("B4"), "Устройство");
        QCOMPARE(sheet.text("C4"), "Событие");
        for (const char *ref : {"A4", "B4", "C4"})
            QVERIFY(sheet.bold(ref));
        QCOMPARE(sheet.maxRow, 4);
    }

    void recordsOfEveryFamily()
    {
        ProjectModel project;
        auto *horn = new ProjectDevice(DeviceType::Horn, 1001, "Этаж 2, коридор", false, 0, true,
                                       "127.0.0.2", -1);
        auto *unit = new ProjectDevice(DeviceType::Norda4200, 2002, QString(), false, 0, true,
                                       "127.0.0.3", -1);
        project.addDevice(nullptr, horn);
        project.addDevice(nullptr, unit);
        DatabaseLog *log = project.logDb;

        // Oldest first; the export lists them newest first.
        const QList<QPair<int, int>> events = {
            {unit->id_obj, 1},      {unit->id_obj, 0x40000001},
            {unit->id_obj, 2},      {unit->id_obj, 0x40000002},
            {unit->id_obj, 3},      {unit->id_obj, 0x40000003},
            {unit->id_obj, 4},      {unit->id_obj, 0x40000004},
            {unit->id_obj, 5},      {unit->id_obj, 0x40000005},
            {unit->id_obj, 8},      {unit->id_obj, 16 + 2},
            {unit->id_obj, 24 + 7}, {unit->id_obj, 32 + 2},
            {horn->id_obj, 9},      {77, 2},
            {unit->id_obj, 77},     {-1, 255},
        };
        for (int i = 0; i < events.size(); ++i)
            QVERIFY(log->insertEvent(events.at(i).first, QString(), events.at(i).second,
                                     base.addSecs(i)));
        QCOMPARE(log->eventCount(5), events.size());

        // The export reads the file beside the project's own connection.
        const JournalExporter::Outcome outcome = JournalExporter::exportFile(
            "log.sqlite", JournalDevices::snapshot(&project), "all.xlsx", created);
        QCOMPARE(outcome.result, JournalExporter::Result::Written);
        QCOMPARE(outcome.records, events.size());
        const QList<Sheet> sheets = readBack("all.xlsx");
        QCOMPARE(sheets.size(), 1);
        const Sheet &sheet = sheets.first();
        QCOMPARE(sheet.maxRow, 4 + events.size());

        const QString unitName = "Блок NORDA-4200";
        const QStringList expected = {
            "ПК|Подтверждение просмотра",
            unitName + "|Неизвестно",
            "Неизвестное устройство|Неисправность УМ",
            "Оповещатель/Громкоговоритель NORDA исп.IP\nЭтаж 2, коридор|Короткое замыкание ЛО2",
            unitName + "|Норма ЛО3",
            unitName + "|Нарушение допуска ЛО8",
            unitName + "|Обрыв ЛО3",
            unitName + "|Короткое замыкание ЛО1",
            unitName + "|Несанкционированный доступ прекращен",
            unitName + "|Несанкционированный доступ",
            unitName + "|Питание 220В появилось",
            unitName + "|Нет питания 220В",
            unitName + "|Неисправность батареи снята",
            unitName + "|Неисправность батареи",
            unitName + "|Неисправность УМ снята",
            unitName + "|Неисправность УМ",
            unitName + "|Подключение установлено",
            unitName + "|Нет подключения",
        };
        for (int i = 0; i < expected.size(); ++i) {
            const QString row = QString::number(5 + i);
            QCOMPARE(sheet.text("B" + row) + "|" + sheet.text("C" + row), expected.at(i));
            QCOMPARE(sheet.text("A" + row),
                     base.addSecs(events.size() - 1 - i).toString("hh:mm:ss dd.MM.yyyy"));
            for (const char *column : {"A", "B", "C"}) {
                QCOMPARE(sheet.horizontal(column + row), "center");
                QCOMPARE(sheet.vertical(column + row), "center");
                QVERIFY(!sheet.bold(column + row));
            }
        }
        // Only the row of the tagged device is twice as high.
        QCOMPARE(sheet.height(8), 30.0);
        QVERIFY(sheet.cells.value("B8").value("wrap").toBool());
        for (int row = 5; row < 5 + expected.size(); ++row) {
            if (row != 8)
                QVERIFY(sheet.height(row) == 0.0 || sheet.height(row) == 15.0);
        }
    }

    void deviceJournal()
    {
        XlsxJournal journal;
        journal.writeHeader(created, "Блок NORDA-4100/4101", 18446744073709551615ull);
        journal.addRow({"10:00:00 01.03.2024", "Авария", "Обрыв ЛО1", "ignored"});
        journal.addRow({"10:00:05 01.03.2024", "Норма", "Норма ЛО1"});
        QCOMPARE(journal.row(), 7);
        QVERIFY(journal.save("unit.xlsx"));

        const QList<Sheet> sheets = readBack("unit.xlsx");
        QCOMPARE(sheets.size(), 1);
        const Sheet &sheet = sheets.first();
        QCOMPARE(sheet.name, "Журнал");
        QCOMPARE(sheet.merged, (QStringList {"A1:C1", "A2:C2", "A3:C3"}));
        QVERIFY(widthIs(sheet.width("A"), 20));
        QVERIFY(widthIs(sheet.width("B"), 20));
        QVERIFY(widthIs(sheet.width("C"), 80));
        QCOMPARE(sheet.text("A1"), "Блок NORDA-4100/4101. Журнал событий.");
        QVERIFY(sheet.bold("A1"));
        QCOMPARE(sheet.horizontal("A1"), "right");
        QCOMPARE(sheet.text("A2"), "Серийный номер устройства:18446744073709551615.");
        QCOMPARE(sheet.text("A3"), "Время создания файла:16:20:30 05.03.2024.");
        QVERIFY(!sheet.cells.contains("A4"));
        QCOMPARE(sheet.text("A5") + "|" + sheet.text("B5") + "|" + sheet.text("C5"),
                 "Время|Тип|Описание события");
        QVERIFY(sheet.bold("A5") && sheet.bold("B5") && sheet.bold("C5"));
        QCOMPARE(sheet.text("C6"), "Обрыв ЛО1");
        QVERIFY(!sheet.cells.contains("D6"));
        QCOMPARE(sheet.text("B7"), "Норма");
        QCOMPARE(sheet.horizontal("B7"), "center");
        QCOMPARE(sheet.maxRow, 7);
    }

    void proposedFileName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("no folder yet") << QString() << "Журнал_БД_20240305.xlsx";
        QTest::newRow("folder") << "/home/duty/journals"
                                << "/home/duty/journals/Журнал_БД_20240305.xlsx";
    }

    void proposedFileName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QCOMPARE(JournalExporter::proposedFileName(folder, QDate(2024, 3, 5)), name);
    }

    void failedSaves()
    {
        DatabaseLog log;
        QVERIFY(log.insertEvent(1, QString(), 2, base));
        auto exported = [](const char *path) {
            return JournalExporter::exportFile("log.sqlite", {}, path, created).result;
        };
        QCOMPARE(exported("no/such/folder/x.xlsx"), JournalExporter::Result::CannotWrite);

        // A folder in the way of the file.
        QVERIFY(QDir().mkdir("taken.xlsx"));
        QCOMPARE(exported("taken.xlsx"), JournalExporter::Result::CannotWrite);
        QVERIFY(QFileInfo("taken.xlsx").isDir());
        // An earlier file of that name is replaced.
        QVERIFY(TestUtil::writeFile("kept.xlsx", "previous export"));
        QCOMPARE(exported("kept.xlsx"), JournalExporter::Result::Written);
        QCOMPARE(readBack("kept.xlsx").value(0).text("C5"), "Неисправность УМ");
        QCOMPARE(JournalExporter::exportFile("missing.sqlite", {}, "x.xlsx", created).result,
                 JournalExporter::Result::CannotRead);
        // Nothing is left behind in the folder but the files asked for.
        QCOMPARE(QDir().entryList({"*.xlsx*", ".*.xlsx"}, QDir::Files | QDir::Hidden),
                 QStringList {"kept.xlsx"});
    }

    // An export on its own thread: its progress, and a cancel that leaves the target as
    // it was, whenever it comes before the result is taken.
    // An exported journal is a normal file of the user: created with the permissions the
    // user's umask leaves, by both ways a journal is written.
    void fileModeFollowsUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("job");
        QTest::addColumn<int>("mode");
        QTest::newRow("umask 022, device journal") << 022 << false << 0644;
        QTest::newRow("umask 077, device journal") << 077 << false << 0600;
        QTest::newRow("umask 022, event database") << 022 << true << 0644;
        QTest::newRow("umask 077, event database") << 077 << true << 0600;
        QTest::newRow("umask 002, event database") << 002 << true << 0664;
    }

    void fileModeFollowsUmask()
    {
        QFETCH(int, mask);
        QFETCH(bool, job);
        QFETCH(int, mode);
        const mode_t before = ::umask(mode_t(mask));
        auto restore = qScopeGuard([before] { ::umask(before); });
        const QString path = QDir::current().filePath("mode.xlsx");
        if (job) {
            {
                DatabaseLog log;
            }
            JournalExportJob exportJob;
            QSignalSpy finished(&exportJob, &JournalExportJob::finished);
            QVERIFY(exportJob.start(QDir::current().filePath("log.sqlite"), {}, path, created));
            QVERIFY(finished.wait(60000));
            QCOMPARE(JournalExporter::Result(finished.first().at(0).toInt()),
                     JournalExporter::Result::Written);
        } else {
            XlsxJournal journal;
            journal.writeHeader(created, "Блок NORDA-4100/4101", 4101);
            QVERIFY(journal.save(path));
        }
        struct stat status;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 0777), mode);
        QCOMPARE(readBack(path).size(), 1);
    }

    void exportJob_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("earlierFile");
        QTest::newRow("written") << false << true;
        QTest::newRow("cancelled") << true << false;
        QTest::newRow("cancelled, earlier file kept") << true << true;
    }

    void exportJob()
    {
        QFETCH(bool, cancel);
        QFETCH(bool, earlierFile);
        const int events = 2000;
        {
            DatabaseLog log;
        }
        QCOMPARE(TestUtil::sqlite3("log.sqlite",
                                   QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                                                  "SELECT i+1 FROM n WHERE i<%1) INSERT INTO "
                                                  "error_log (param_time, device_unique_id, "
                                                  "error_id, error_description, seen) SELECT "
                                                  "'10:00:00 01.01.2024', i, 2, '', 0 FROM n;")
                                       .arg(events)),
                 QString());
        if (earlierFile)
            QVERIFY(TestUtil::writeFile("out.xlsx", "earlier export"));
        JournalExportJob job;
        QSignalSpy progress(&job, &JournalExportJob::progress);
        QSignalSpy finished(&job, &JournalExportJob::finished);
        QVERIFY(job.start(QDir::current().filePath("log.sqlite"), {}, "out.xlsx", created));
        QVERIFY(!job.start(QDir::current().filePath("log.sqlite"), {}, "other.xlsx", created));
        if (cancel)
            job.cancel();
        QVERIFY(finished.wait(60000));
        QVERIFY(!job.isRunning());
        const auto result = JournalExporter::Result(finished.first().at(0).toInt());
        if (cancel) {
            QCOMPARE(result, JournalExporter::Result::Cancelled);
            QCOMPARE(TestUtil::readFile("out.xlsx"),
                     earlierFile ? QByteArray("earlier export") : QByteArray());
            QCOMPARE(QFileInfo::exists("out.xlsx"), earlierFile);
        } else {
            QCOMPARE(result, JournalExporter::Result::Written);
            QCOMPARE(finished.first().at(1).toLongLong(), events);
            QVERIFY(progress.count() >= 2);
            QCOMPARE(progress.first().at(0).toLongLong(), 0);
            QCOMPARE(progress.last().at(0).toLongLong(), events);
            QCOMPARE(progress.last().at(1).toLongLong(), events);
            QCOMPARE(readBack("out.xlsx").value(0).maxRow, 4 + events);
        }
        QVERIFY(!QFileInfo::exists("other.xlsx"));
        QCOMPARE(QDir().entryList({".*.xlsx"}, QDir::Files | QDir::Hidden), QStringList());
    }

    void continuationWorksheets()
    {
        XlsxSheetWriter writer({20, 40, 80});
        writer.setRowLimit(10);
        using Line = XlsxSheetWriter::HeaderLine;
        writer.writeHeader({{Line::Title, {"Журнал неисправностей"}},
                            {Line::Empty, {}},
                            {Line::Columns, {"Время", "Устройство", "Событие"}}});
        for (int i = 1; i <= 12; ++i)
            writer.addRow({QString::number(i), "x", "y"});
        QCOMPARE(writer.sheetCount(), 2);
        QVERIFY(writer.save("long.xlsx"));

        const QList<Sheet> sheets = readBack("long.xlsx");
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets.at(0).name, "Журнал");
        QCOMPARE(sheets.at(1).name, "Журнал (2)");
        QCOMPARE(sheets.at(0).maxRow, 10);
        QCOMPARE(sheets.at(0).text("A10"), "7");
        QCOMPARE(sheets.at(1).text("A1"), "Журнал неисправностей");
        QCOMPARE(sheets.at(1).merged, QStringList {"A1:C1"});
        QCOMPARE(sheets.at(1).text("C3"), "Событие");
        QCOMPARE(sheets.at(1).text("A4"), "8");
        QCOMPARE(sheets.at(1).text("A8"), "12");
    }

private:
    std::unique_ptr<TestUtil::WorkDir> m_dir;
};

QTEST_GUILESS_MAIN(TestXlsxExport)
#include "tst_xlsxexport.moc"
