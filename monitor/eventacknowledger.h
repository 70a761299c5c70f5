#pragma once

#include <QDateTime>
#include <QString>

class ProjectModel;

// "Просмотрено": the user has seen the events the journal list showed.
class EventAcknowledger {
public:
    // Records the acknowledgement (code 255, device -1) at `time`, marks the events up to
    // `shownId` (the newest record the list showed) seen, and makes every device forget
    // its last status, so that general faults still present are logged again by the next
    // status document. Events that arrived after the list was drawn stay unacknowledged.
    // False when the project has no event database, the audit trail could not record it
    // (nothing is acknowledged then) or the database refused a step.
    static bool acknowledge(ProjectModel *project, qint64 shownId,
                            const QDateTime &time = QDateTime::currentDateTime(),
                            const QString &by = QString());
};
