#include "monitor/eventacknowledger.h"

#include "journal/databaselog.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

bool EventAcknowledger::acknowledge(ProjectModel *project, qint64 shownId, const QDateTime &time,
                                    const QString &by)
{
    if (!project || !project->logDb)
        return false;
    const QList<ProjectDevice *> devices = project->allDevices();
    const bool done = project->logDb->acknowledge(shownId, time, by);
    for (ProjectDevice *device : devices)
        device->clearStatus();
    return done;
}
