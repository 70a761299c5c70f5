#pragma once

#include "journal/auditrecord.h"
#include "journal/eventrecord.h"

#include <QByteArray>
#include <QString>

// A journal event as a syslog message (RFC 5424) for a site's log collector: facility
// local0, the severity and message id by the kind of event, the record and the device as
// structured data, the event's text as the message.
//
//   <131>1 2026-12-07T01:02:03+03:00 duty-pc norda-console 812 FAULT
//   [event@32473 record="17" code="8"][device@32473 id="3" serial="4201"
//   type="norda4200" ip="192.168.1.20"] <BOM>Короткое замыкание ЛО1 - Блок ... (№4201)
class SyslogMessage {
public:
    enum Severity : int { Error = 3, Warning = 4, Notice = 5, Informational = 6 };
    static constexpr int facilityLocal0 = 16;
    // Private enterprise number of the structured data ids (the number set aside for
    // documentation and examples; the ids are this program's own).
    static constexpr int enterpriseNumber = 32473;
    // Every collector takes datagrams of this size (RFC 5426); a longer text is cut.
    static constexpr int maxBytes = 2048;

    // What the message says of the device; `known` false for an event without one (an
    // acknowledgement) or of a device the project no longer has.
    struct Device {
        bool known = false;
        quint32 serial = 0;
        QString typeKey; // "norda4200"
        QString title; // "Блок NORDA-4200 (№4201)"
        QString ip; // empty unless the device is reached over Ethernet
        int rs485 = -1; // -1 unless the device sits on an RS-485 bus
    };

    // Faults and connection losses are errors, their end a notice, an acknowledgement
    // informational.
    static Severity severity(int code);
    // "FAULT", "CLEAR", "CONNECTION", "ACK" or "EVENT" for a code outside the table.
    static QString messageId(int code);

    // The whole message. `host` and `app` are cut to the lengths the format allows and
    // replaced by "-" when empty; a time that is not "hh:mm:ss dd.MM.yyyy" is sent as "-".
    static QByteArray compose(const EventRecord &record, const Device &device, const QString &host,
                              const QString &app, qint64 processId);

    // An audit trail record, a notice with message id "AUDIT": its sequence number, hash,
    // previous hash, action, user and device as structured data, its details (JSON) as
    // the message. The collector's copy of the hashes is what `audit verify --head` takes.
    static QByteArray composeAudit(const AuditRecord &record, const QString &host,
                                   const QString &app, qint64 processId);

    // "2026-12-07T01:02:03+03:00" for a stored local time, "-" when it does not parse.
    static QByteArray timestamp(const QString &storedTime);
};
