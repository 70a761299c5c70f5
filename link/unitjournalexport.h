#pragma once

#include "link/unitjournalrecord.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// A central unit's journal written as a spreadsheet (XlsxJournal's layout), shared by the
// central unit window and norda-cli. The workbook is written to a temporary file and moved
// into place, so the target is either the previous file or the complete new one.
class UnitJournalExport {
public:
    // The file name the save dialog proposes: "Журнал_" + serial number + "_" + date
    // ("yyyyMMdd") + ".xlsx", inside `folder` (the [paths] savejournalpath setting) when it
    // is not empty.
    static QString proposedFileName(const QString &folder, quint64 serial, const QDate &date);

    // The three texts of a record's row: time, type, event text.
    static QStringList rowTexts(const UnitJournalRecord &record);

    // Writes the header (creation time, the device's type name, its serial number) and one
    // row per entry of `rows` (three texts each, in order). False when the file could not
    // be written or put in place.
    static bool write(const QString &path, const QVector<QStringList> &rows, int deviceType,
                      quint64 serial, const QDateTime &created = QDateTime::currentDateTime());
};
