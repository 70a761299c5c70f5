#include "tools/devsim/simrequestlog.h"

#include "tools/devsim/simdevice.h"

#include <QMutexLocker>

SimRequestLog::SimRequestLog(QObject *parent)
    : QObject(parent)
{
}

bool SimRequestLog::open(const QString &path, QString *error)
{
    QMutexLocker lock(&mutex);
    file.close();
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("cannot open request log %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void SimRequestLog::append(const SimDevice *device, const QString &request)
{
    const QByteArray line = (device->address.toString() + QLatin1Char('\t') +
                             QString::number(device->serial) + QLatin1Char('\t') + request)
                                .toUtf8() +
        '\n';
    QMutexLocker lock(&mutex);
    if (!file.isOpen())
        return;
    // One write per line: lines of simulators appending to the same file never mix.
    file.write(line);
    file.flush();
}
