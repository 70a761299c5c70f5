#include "app/lansearch.h"

#include "monitor/statuspoller.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QStringList>

namespace {

// Past the poller's own deadline: every request has concluded by then.
constexpr int deadlineMarginMs = 1000;

} // namespace

LanSearch::LanSearch(StatusPoller *poller, QObject *parent)
    : QObject(parent)
    , m_poller(poller)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &LanSearch::finish);
    connect(m_poller, &StatusPoller::statusAccepted, this, &LanSearch::answered);
    connect(m_poller, &StatusPoller::replyDropped, this, &LanSearch::dropped);
}

void LanSearch::start(ProjectModel *project)
{
    m_waiting.clear();
    m_wasOnline.clear();
    m_found.clear();
    m_running = true;
    if (project) {
        for (const ProjectDevice *device : project->allDevices()) {
            if (!device->ip_enabled)
                continue;
            m_waiting.insert(device->ip_addr);
            if (m_poller->isOnline(device))
                m_wasOnline.insert(device);
        }
    }
    // Requests already on their way (the tick's) are not sent again; their answers count.
    m_poller->sendRequests();
    m_deadline.start(m_poller->timeout() + deadlineMarginMs);
    finishIfDone();
}

void LanSearch::answered(ProjectDevice *device)
{
    if (!m_running || !device || !m_waiting.remove(device->ip_addr))
        return;
    m_found.append(device);
    finishIfDone();
}

void LanSearch::dropped(const QString &address)
{
    if (m_running && m_waiting.remove(address))
        finishIfDone();
}

void LanSearch::finishIfDone()
{
    if (m_waiting.isEmpty())
        finish();
}

void LanSearch::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_deadline.stop();
    QList<const ProjectDevice *> fresh;
    int found = 0;
    for (const QPointer<ProjectDevice> &device : qAsConst(m_found)) {
        if (!device)
            continue;
        ++found;
        if (!m_wasOnline.contains(device))
            fresh.append(device);
    }
    emit finished(summary(found, fresh));
}

QString LanSearch::summary(int found, const QList<const ProjectDevice *> &fresh)
{
    QString text = QStringLiteral("Найдено устройств: %1.").arg(found);
    if (fresh.isEmpty())
        return text;
    QStringList names;
    for (const ProjectDevice *device : fresh)
        names << deviceTypeName(device) + QStringLiteral(" №") + QString::number(device->serial);
    return text + QStringLiteral(" Новые: ") + names.join(QStringLiteral(", ")) + QLatin1Char('.');
}
