#include "monitor/statusacceptor.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/devicetype.h"
#include "project/jsonparser.h"
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
    QJsonObject document;
    // The same bytes as the device's last answer read the same: its document is taken again.
    if (atHost && atHost->statusMemo.body == body)
        document = atHost->statusMemo.document;
    else if (!JsonParser::parseObject(body, &document))
        return nullptr;
    qCDebug(statusLog).noquote() << host << QJsonDocument(document).toJson(QJsonDocument::Compact);

    // 0 when the document has no usable serial number.
    const quint32 serial = JsonRead::uint32(document, "serial", 0);
    ProjectDevice *device = atHost ? atHost : model->findDeviceByIp(host);
    if (!device && !monitoring && serial != 0)
        device = model->findDeviceBySerial(serial);
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
    if (serial != 0)
        device->serial = serial;
    device->firmwareVersion = JsonRead::string(document, "version");
    if (!monitoring && isConsoleType(device->type)) {
        // The device announces every button it adds or removes before the change, so
        // the views follow; counts no console has are ignored there.
        device->setKeysCount(JsonRead::integer(document, "keys_count", -1));
    }
    device->netFound = true;
    device->setStatus(document, now, body);
    return device;
}
