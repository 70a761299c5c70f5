#include "journal/journalexporter.h"

#include "journal/databasewrapper.h"
#include "journal/eventcode.h"
#include "journal/journalquery.h"
#include "journal/readonlydatabase.h"
#include "journal/xlsxdatabase.h"
#include "journal/xlsxsheetwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>
#include <limits>

QString JournalExporter::proposedFileName(const QString &folder, const QDate &date)
{
    const QString name = QStringLiteral("Журнал_БД_") +
        QLocale::c().toString(date, QStringLiteral("yyyyMMdd")) + QStringLiteral(".xlsx");
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

JournalExporter::Outcome JournalExporter::write(const QString &databasePath,
                                                const ExportDevices &devices, const QString &path,
                                                const QDateTime &created,
                                                const std::atomic_bool *cancel,
                                                const Progress &progress, int pageSize,
                                                const JournalFilter *filter)
{
    Outcome outcome;
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    ReadOnlyDatabase reader(databasePath);
    if (!reader.isOpen()) {
        outcome.error = QStringLiteral("cannot open %1: %2").arg(databasePath, reader.error());
        return outcome;
    }
    QSqlQuery query(reader.database());
    query.setForwardOnly(true);
    qint64 total = 0;
    if (!filter) {
        if (!query.exec(QStringLiteral("SELECT count(*) FROM error_log;")) || !query.next()) {
            outcome.error =
                QStringLiteral("cannot read %1: %2").arg(databasePath, query.lastError().text());
            return outcome;
        }
        total = query.value(0).toLongLong();
        query.finish();
    }
    if (progress)
        progress(0, total);

    XlsxDatabase sheet(nullptr, QFileInfo(path).absolutePath());
    sheet.writeHeader(created);
    auto addRow = [&sheet, &devices](const EventRecord &record) {
        const QDateTime time = DatabaseWrapper::parseTime(record.time);
        if (record.code == EventCode::Acknowledged) {
            sheet.addRow(time, QStringLiteral("ПК"), EventCode::text(record.code));
        } else {
            const auto device = devices.constFind(record.deviceId);
            sheet.addRecord(time, device == devices.constEnd() ? nullptr : &device.value(),
                            EventCode::text(record.code));
        }
    };

    if (filter) {
        // The filtered walk of the history.
        JournalQuery history(reader.database());
        JournalQuery::Cursor cursor;
        QVector<EventRecord> rows;
        while (!cursor.atEnd) {
            QString error;
            if (!history.page(*filter, &cursor, pageSize, &rows, &error)) {
                outcome.result = error.contains(QLatin1String("do not move on"))
                    ? Result::Stuck
                    : Result::CannotRead;
                outcome.error = QStringLiteral("cannot read %1: %2").arg(databasePath, error);
                return outcome;
            }
            for (const EventRecord &record : qAsConst(rows)) {
                if (cancelled()) {
                    outcome.result = Result::Cancelled;
                    return outcome;
                }
                addRow(record);
                ++outcome.records;
            }
            if (progress)
                progress(outcome.records, 0);
        }
    } else {
        if (!query.prepare(QStringLiteral("SELECT record_id, param_time, device_unique_id, "
                                          "error_id FROM error_log WHERE record_id<? ORDER BY "
                                          "record_id DESC LIMIT ?;"))) {
            outcome.error = query.lastError().text();
            return outcome;
        }
        qint64 cursor = std::numeric_limits<qint64>::max();
        for (;;) {
            query.bindValue(0, cursor);
            query.bindValue(1, qMax(1, pageSize));
            if (!query.exec()) {
                outcome.error = QStringLiteral("cannot read %1: %2")
                                    .arg(databasePath, query.lastError().text());
                return outcome;
            }
            int rows = 0;
            while (query.next()) {
                if (cancelled()) {
                    outcome.result = Result::Cancelled;
                    return outcome;
                }
                bool ok = false;
                const qint64 id = query.value(0).toLongLong(&ok);
                if (!ok || id >= cursor) {
                    outcome.result = Result::Stuck;
                    outcome.error = QStringLiteral("the records of %1 do not go down at record "
                                                   "%2 (after %3)")
                                        .arg(databasePath, query.value(0).toString())
                                        .arg(cursor);
                    return outcome;
                }
                cursor = id;
                ++rows;
                EventRecord record;
                record.time = query.value(1).toString();
                record.deviceId = query.value(2).toInt();
                record.code = query.value(3).toInt();
                addRow(record);
                ++outcome.records;
            }
            query.finish();
            if (progress)
                progress(outcome.records, total);
            if (rows < pageSize)
                break;
        }
    }
    if (cancelled()) {
        outcome.result = Result::Cancelled;
        return outcome;
    }
    outcome.temporaryPath = sheet.finishTemporary();
    if (outcome.temporaryPath.isEmpty()) {
        outcome.result = Result::CannotWrite;
        outcome.error = QStringLiteral("cannot write the spreadsheet in %1")
                            .arg(QFileInfo(path).absolutePath());
        return outcome;
    }
    outcome.result = Result::Written;
    return outcome;
}

bool JournalExporter::commit(const QString &temporaryPath, const QString &path)
{
    bool created = false;
    if (!XlsxSheetWriter::takeTargetPermissions(temporaryPath, path, &created)) {
        discard(temporaryPath);
        return false;
    }
    // One rename: the target is either the previous file or the complete new one.
    if (std::rename(QFile::encodeName(temporaryPath).constData(),
                    QFile::encodeName(path).constData()) == 0)
        return true;
    discard(temporaryPath);
    if (created)
        QFile::remove(path);
    return false;
}

void JournalExporter::discard(const QString &temporaryPath)
{
    if (!temporaryPath.isEmpty())
        QFile::remove(temporaryPath);
}

JournalExporter::Outcome JournalExporter::exportFile(const QString &databasePath,
                                                     const ExportDevices &devices,
                                                     const QString &path, const QDateTime &created,
                                                     const Progress &progress, int pageSize,
                                                     const JournalFilter *filter)
{
    Outcome outcome =
        write(databasePath, devices, path, created, nullptr, progress, pageSize, filter);
    if (outcome.result != Result::Written)
        return outcome;
    if (!commit(outcome.temporaryPath, path)) {
        outcome.result = Result::CannotWrite;
        outcome.error = QStringLiteral("cannot write %1").arg(path);
    }
    outcome.temporaryPath.clear();
    return outcome;
}
