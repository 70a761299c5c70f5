#include "journal/syslogmessage.h"

#include "journal/eventcode.h"

#include <QDateTime>

namespace {

// PRINTUSASCII without spaces, at most `length` characters; "-" when nothing is left.
QByteArray headerField(const QString &text, int length)
{
    QByteArray field;
    for (const QChar c : text) {
        if (field.size() == length)
            break;
        const ushort u = c.unicode();
        if (u > 32 && u < 127)
            field.append(char(u));
    }
    return field.isEmpty() ? QByteArrayLiteral("-") : field;
}

// A PARAM-VALUE: UTF-8 with '"', '\' and ']' escaped; control characters dropped.
QByteArray paramValue(const QString &text)
{
    QByteArray value;
    for (const char c : text.toUtf8()) {
        if (uchar(c) < 32 || c == 127)
            continue;
        if (c == '"' || c == '\\' || c == ']')
            value.append('\\');
        value.append(c);
    }
    return value;
}

void appendParam(QByteArray *out, const char *name, const QString &value)
{
    out->append(' ');
    out->append(name);
    out->append("=\"");
    out->append(paramValue(value));
    out->append('"');
}

// Cuts UTF-8 text to at most `bytes` bytes without splitting a character.
QByteArray cutUtf8(const QByteArray &text, int bytes)
{
    if (text.size() <= bytes)
        return text;
    int end = qMax(0, bytes);
    while (end > 0 && (uchar(text.at(end)) & 0xC0) == 0x80)
        --end;
    return text.left(end);
}

} // namespace

SyslogMessage::Severity SyslogMessage::severity(int code)
{
    if (code == EventCode::Acknowledged)
        return Informational;
    if (EventCode::isRecovery(code))
        return Notice;
    if (!EventCode::isKnown(code))
        return Notice;
    return Error;
}

QString SyslogMessage::messageId(int code)
{
    if (code == EventCode::Acknowledged)
        return QStringLiteral("ACK");
    if (code == EventCode::ConnectionLost || code == EventCode::ConnectionRestored)
        return QStringLiteral("CONNECTION");
    if (!EventCode::isKnown(code))
        return QStringLiteral("EVENT");
    return EventCode::isRecovery(code) ? QStringLiteral("CLEAR") : QStringLiteral("FAULT");
}

QByteArray SyslogMessage::timestamp(const QString &storedTime)
{
    const QDateTime time = QDateTime::fromString(storedTime, QStringLiteral("hh:mm:ss dd.MM.yyyy"));
    if (!time.isValid())
        return QByteArrayLiteral("-");
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        (offset < 0 ? '-' : '+') +
        QStringLiteral("%1:%2")
            .arg(minutes / 60, 2, 10, QLatin1Char('0'))
            .arg(minutes % 60, 2, 10, QLatin1Char('0'))
            .toLatin1();
}

QByteArray SyslogMessage::composeAudit(const AuditRecord &record, const QString &host,
                                       const QString &app, qint64 processId)
{
    const int priority = facilityLocal0 * 8 + Notice;
    const QByteArray time = AuditRecord::parseTime(record.time).isValid() ? record.time.toLatin1()
                                                                          : QByteArrayLiteral("-");
    QByteArray out = '<' + QByteArray::number(priority) + ">1 " + time + ' ' +
        headerField(host, 255) + ' ' + headerField(app, 48) + ' ' +
        headerField(QString::number(processId), 128) + " AUDIT [audit@" +
        QByteArray::number(enterpriseNumber);
    appendParam(&out, "seq", QString::number(record.sequence));
    appendParam(&out, "hash", record.hash);
    appendParam(&out, "prev", record.prevHash);
    appendParam(&out, "action", record.action);
    appendParam(&out, "user", record.user);
    appendParam(&out, "device", record.device);
    out += "] \xEF\xBB\xBF";
    out += cutUtf8(paramValue(record.details), maxBytes - out.size());
    return out;
}

QByteArray SyslogMessage::compose(const EventRecord &record, const Device &device,
                                  const QString &host, const QString &app, qint64 processId)
{
    const int priority = facilityLocal0 * 8 + severity(record.code);
    QByteArray out = '<' + QByteArray::number(priority) + ">1 " + timestamp(record.time) + ' ' +
        headerField(host, 255) + ' ' + headerField(app, 48) + ' ' +
        headerField(QString::number(processId), 128) + ' ' + messageId(record.code).toLatin1() +
        ' ';

    const QByteArray suffix = '@' + QByteArray::number(enterpriseNumber);
    out += "[event" + suffix;
    appendParam(&out, "record", QString::number(record.recordId));
    appendParam(&out, "code", QString::number(record.code));
    out += ']';
    if (record.code != EventCode::Acknowledged) {
        out += "[device" + suffix;
        appendParam(&out, "id", QString::number(record.deviceId));
        if (device.known) {
            appendParam(&out, "serial", QString::number(device.serial));
            appendParam(&out, "type", device.typeKey);
            if (!device.ip.isEmpty())
                appendParam(&out, "ip", device.ip);
            if (device.rs485 >= 0)
                appendParam(&out, "rs485", QString::number(device.rs485));
        }
        out += ']';
    }

    QString text = record.description.isEmpty() ? EventCode::text(record.code) : record.description;
    if (device.known && !device.title.isEmpty())
        text += QStringLiteral(" - ") + device.title;
    QByteArray message;
    for (const QChar c : text)
        message += c.unicode() < 32 ? QByteArray(" ") : QString(c).toUtf8();
    out += " \xEF\xBB\xBF";
    out += cutUtf8(message, maxBytes - out.size());
    return out;
}
