#include "monitor/journalexporter.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "monitor/xlsxdatabase.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QDir>
#include <QHash>
#include <QLocale>

namespace {

// Events read from the database at a time.
constexpr int exportPage = 10000;

} // namespace

QString JournalExporter::proposedFileName(const QString &folder, const QDate &date)
{
    const QString name = QStringLiteral("Журнал_БД_") +
        QLocale::c().toString(date, QStringLiteral("yyyyMMdd")) + QStringLiteral(".xlsx");
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

bool JournalExporter::exportDatabase(DatabaseLog *log, const ProjectModel *project,
                                     const QString &path, const QDateTime &created, int *records)
{
    if (records)
        *records = 0;
    if (!log)
        return false;
    QHash<int, const ProjectDevice *> devices;
    if (project) {
        for (const ProjectDevice *device : project->allDevices()) {
            if (!devices.contains(device->id_obj))
                devices.insert(device->id_obj, device);
        }
    }

    XlsxDatabase sheet;
    sheet.writeHeader(created);
    int written = 0;
    int before = 0;
    for (;;) {
        bool ok = false;
        const QVector<EventRecord> page = log->events(before, exportPage, false, &ok);
        if (!ok)
            return false;
        for (const EventRecord &event : page) {
            const QDateTime time = DatabaseWrapper::parseTime(event.time);
            if (event.code == EventCode::Acknowledged)
                sheet.addRow(time, QStringLiteral("ПК"), EventCode::text(event.code));
            else
                sheet.addRecord(time, devices.value(event.deviceId), EventCode::text(event.code));
            ++written;
        }
        if (page.size() < exportPage)
            break;
        before = page.last().recordId;
    }
    if (records)
        *records = written;
    return sheet.save(path);
}
