#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class ProjectDevice;
class ProjectModel;

// Acceptance of a device's answer to a status request: decides which project device,
// if any, the answer belongs to and hands the document to its decoding.
class StatusAcceptor {
public:
    // Bodies larger than this are never parsed.
    static constexpr int maxBodySize = 1 << 20;

    // Only an HTTP status 200 with a non-empty body holding a JSON object counts. The
    // device is found by the address the request went to; in the configurator (not
    // `monitoring`) an unknown address is matched by the document's "serial" instead.
    // The document's "device" must be the type key of the device found. Returns the
    // device that took the document, or null when the answer was dropped.
    //
    // Only a valid "serial" (a whole number from 1 to 4294967295) replaces the device's
    // serial number, and only a "keys_count" from 0 to ProjectDevice::maxKeysCount
    // changes a console's buttons (in the configurator); anything else keeps what the
    // project says.
    //
    // `atHost`, when given, is the device findDeviceByIp(host) gives, already known to
    // the caller (the poller keeps an index of the addresses it asks); it saves a walk
    // of the tree per answer.
    static ProjectDevice *accept(ProjectModel *model, int httpStatus, const QString &host,
                                 const QByteArray &body, bool monitoring,
                                 const QDateTime &now = QDateTime::currentDateTime(),
                                 ProjectDevice *atHost = nullptr);
};
