#include "link/unitjournalexport.h"

#include "journal/xlsxjournal.h"
#include "project/devicetype.h"

#include <QDir>
#include <QLocale>

QString UnitJournalExport::proposedFileName(const QString &folder, quint64 serial,
                                            const QDate &date)
{
    const QString name = QStringLiteral("Журнал_") + QString::number(serial) + QLatin1Char('_') +
        QLocale::c().toString(date, QStringLiteral("yyyyMMdd")) + QStringLiteral(".xlsx");
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

QStringList UnitJournalExport::rowTexts(const UnitJournalRecord &record)
{
    return {record.timeText(), record.typeText(), record.text()};
}

bool UnitJournalExport::write(const QString &path, const QVector<QStringList> &rows, int deviceType,
                              quint64 serial, const QDateTime &created)
{
    XlsxJournal sheet;
    sheet.writeHeader(created, deviceTypeName(deviceType), serial);
    for (const QStringList &row : rows)
        sheet.addRow(row);
    return sheet.save(path);
}
