#include "monitor/eventacknowledger.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

bool EventAcknowledger::acknowledgeAll(ProjectModel *project, const QDateTime &time)
{
    if (!project || !project->logDb)
        return false;
    const QList<ProjectDevice *> devices = project->allDevices();
    const bool recorded = project->logDb->insertEvent(-1, QString(), EventCode::Acknowledged, time);
    const bool marked = project->logDb->markAllSeen();
    for (ProjectDevice *device : devices)
        device->clearStatus();
    return recorded && marked;
}
