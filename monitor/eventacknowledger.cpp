#include "monitor/eventacknowledger.h"

#include "journal/audittrail.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

bool EventAcknowledger::acknowledgeAll(ProjectModel *project, const QDateTime &time)
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
    const bool recorded = project->logDb->insertEvent(-1, QString(), EventCode::Acknowledged, time);
    const bool marked = project->logDb->markAllSeen();
    for (ProjectDevice *device : devices)
        device->clearStatus();
    return recorded && marked;
}
