#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

class DatabaseLog;
class ProjectModel;

// The export of the event database to a spreadsheet, shared by the main window's
// "Экспорт..." and by norda-cli.
class JournalExporter {
public:
    // The file name the save dialog proposes: "Журнал_БД_" + date ("yyyyMMdd") +
    // ".xlsx", inside `folder` (the [paths] savelogpath setting) when it is not empty.
    static QString proposedFileName(const QString &folder, const QDate &date);

    // Writes every event of `log`, newest first, to `path`: acknowledgements as "ПК" /
    // "Подтверждение просмотра", other events with the device found by identifier in
    // `project` (may be null) and the text of their code. `records` receives the number
    // of events written. False when the file could not be written.
    static bool exportDatabase(DatabaseLog *log, const ProjectModel *project, const QString &path,
                               const QDateTime &created = QDateTime::currentDateTime(),
                               int *records = nullptr);
};
