#pragma once

#include <QDateTime>

class ProjectModel;

// "Просмотрено": the user has seen every event of the journal.
class EventAcknowledger {
public:
    // Records the acknowledgement (code 255, device -1) at `time`, marks every event seen
    // and makes every device forget its last status, so that general faults still present
    // are logged again by the next status document. False when the project has no event
    // database, the audit trail could not record it (nothing is acknowledged then) or the
    // database refused a step.
    static bool acknowledgeAll(ProjectModel *project,
                               const QDateTime &time = QDateTime::currentDateTime());
};
