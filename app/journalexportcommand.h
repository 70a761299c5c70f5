#pragma once

class ProjectModel;
class QSettings;
class QWidget;

// "Экспорт..." of the journal tab: asks for a spreadsheet file, proposing one in the
// folder last used, writes the project's event database into it and reports the result.
class JournalExportCommand {
public:
    static void run(QWidget *parent, QSettings *settings, ProjectModel *project);
};
