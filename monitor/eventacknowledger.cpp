#include "monitor/eventacknowledger.h"

#include "journal/audittrail.h"
#include "journal/databaselog.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

bool EventAcknowledger::acknowledge(ProjectModel *project, qint64 shownId, const QDateTime &time,
                                    const QString &by)
{
    if (!project || !project->logDb)
        return false;
    // Recorded in the audit trail first; an acknowledgement that cannot be recorded is not
    // made.
    const int unseen = project->logDb->eventCount(0);
    if (!AuditTrail::record(QString(), QLatin1String(AuditRecord::acknowledge),
                            {{QStringLiteral("events"), unseen}}))
        return false;
    const QList<ProjectDevice *> devices = project->allDevices();
    const bool done = project->logDb->acknowledge(shownId, time, by);
    for (ProjectDevice *device : devices)
        device->clearStatus();
    return done;
}
