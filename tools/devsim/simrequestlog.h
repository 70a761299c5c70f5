#pragma once

#include <QFile>
#include <QMutex>
#include <QObject>
#include <QString>

class SimDevice;

// The request log file of norda-devsim (--request-log): every request line the simulated
// devices receive, appended as "ADDRESS<tab>SERIAL<tab>REQUEST" in UTF-8 and flushed line
// by line, so that another program can follow a window's traffic while it runs. Several
// simulators may append to the same file.
class SimRequestLog : public QObject {
    Q_OBJECT

public:
    explicit SimRequestLog(QObject *parent = nullptr);

    bool open(const QString &path, QString *error = nullptr);
    QString path() const { return file.fileName(); }
    // Safe from any thread.
    void append(const SimDevice *device, const QString &request);

private:
    QMutex mutex;
    QFile file;
};
