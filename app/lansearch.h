#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

class ProjectDevice;
class ProjectModel;
class StatusPoller;

// "Поиск устройств LAN": one status request to every device of the project that has
// Ethernet, and once each has answered or failed (or the poller's deadline has passed)
// one summary of what answered. Devices that were not connected before the search are
// the new ones.
class LanSearch : public QObject {
    Q_OBJECT

public:
    LanSearch(StatusPoller *poller, QObject *parent = nullptr);

    // Starts a search of the project's devices (a search still running is given up).
    void start(ProjectModel *project);
    bool isRunning() const { return m_running; }

    // "Найдено устройств: N." and, when there are any, the new ones by type and serial
    // number (the USB search says the same of the devices it added).
    static QString summary(int found, const QList<const ProjectDevice *> &fresh);

signals:
    void finished(const QString &summary);

private:
    void answered(ProjectDevice *device);
    void dropped(const QString &address);
    void finishIfDone();
    void finish();

    StatusPoller *m_poller;
    bool m_running = false;
    QSet<QString> m_waiting;
    QSet<const ProjectDevice *> m_wasOnline;
    QList<QPointer<ProjectDevice>> m_found;
    QTimer m_deadline;
};
