#include "monitor/statusacceptor.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/devicetype.h"
#include "project/jsonread.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(statusLog, "norda.status")

} // namespace

ProjectDevice *StatusAcceptor::accept(ProjectModel *model, int httpStatus, const QString &host,
                                      const QByteArray &body, bool monitoring, const QDateTime &now,
                                      ProjectDevice *atHost)
{
    if (!model || httpStatus != 200 || body.isEmpty() || body.size() > maxBodySize)
        return nullptr;
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject())
        return nullptr;
    const QJsonObject document = json.object();
    qCDebug(statusLog).noquote() << host << json.toJson(QJsonDocument::Compact);

    ProjectDevice *device = atHost ? atHost : model->findDeviceByIp(host);
    if (!device && !monitoring && document.value(QLatin1String("serial")).isDouble()) {
        const int serial = JsonRead::integer(document, "serial", 0);
        device = model->findDeviceBySerial(serial);
    }
    if (!device)
        return nullptr;
    if (!document.value(QLatin1String("device")).isString() ||
        JsonRead::string(document, "device") != deviceTypeKey(device->type))
        return nullptr;

    DatabaseLog *log = model->logDb;
    DatabaseLog::Transaction transaction(log);
    if (monitoring && log) {
        QDateTime lost;
        if (log->lastEventTime(device->id_obj, EventCode::ConnectionLost, lost, 0))
            log->insertEvent(device->id_obj, QString(), EventCode::ConnectionRestored, now);
    }
    device->serial = JsonRead::integer(document, "serial", 0);
    device->firmwareVersion = JsonRead::string(document, "version");
    if (!monitoring && isConsoleType(device->type)) {
        const int keys = JsonRead::integer(document, "keys_count", -1);
        if (keys <= maxKeysCount)
            device->setKeysCount(keys);
    }
    device->netFound = true;
    device->setStatus(document, now);
    return device;
}
