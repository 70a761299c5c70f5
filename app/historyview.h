#pragma once

#include "journal/journalfilter.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class HistoryTableModel;
class JournalExportCommand;
class ProjectModel;

namespace Ui {
class HistoryView;
}

// "История" of monitoring mode: every record of the event journal, acknowledged ones
// included, filtered by time, devices (one device, a type or a group of the project),
// kind of event and text, newest first; "Экспорт..." writes exactly the records shown.
class HistoryView : public QWidget {
    Q_OBJECT

public:
    HistoryView(JournalExportCommand *exporter, QWidget *parent = nullptr);
    ~HistoryView() override;

    // The project whose journal is shown and whose devices the filter offers.
    void setProject(ProjectModel *project);
    // The filter of the controls as they are now.
    JournalFilter currentFilter() const;
    HistoryTableModel *model() const { return m_model; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillDeviceChoices();
    void applyFilter();
    void showState();
    void exportShown();

    Ui::HistoryView *ui;
    HistoryTableModel *m_model;
    QPointer<JournalExportCommand> m_exporter;
    QPointer<ProjectModel> m_project;
    // Typing in the text field filters once it pauses.
    QTimer m_textDelay;
};
