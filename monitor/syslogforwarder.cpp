#include "monitor/syslogforwarder.h"

#include "journal/syslogmessage.h"
#include "project/devicetype.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostInfo>

SyslogForwarder::SyslogForwarder(QObject *parent)
    : QObject(parent)
    , m_app(QCoreApplication::applicationName())
    , m_localHost(QHostInfo::localHostName())
{
}

SyslogForwarder::~SyslogForwarder()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
}

bool SyslogForwarder::parseTarget(const QString &text, QString *host, quint16 *port, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString target = text.trimmed();
    host->clear();
    *port = defaultPort;
    if (target.isEmpty())
        return true;

    QString name = target;
    QString portText;
    if (target.startsWith(QLatin1Char('['))) {
        const int close = target.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("missing ']' after the IPv6 address"));
        name = target.mid(1, close - 1);
        const QString rest = target.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return fail(QStringLiteral("text after the IPv6 address"));
            portText = rest.mid(1);
        }
        if (QHostAddress(name).protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("not an IPv6 address: %1").arg(name));
    } else {
        const int colon = target.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            if (target.indexOf(QLatin1Char(':')) != colon)
                return fail(QStringLiteral("write an IPv6 address in brackets: [ADDRESS]:PORT"));
            name = target.left(colon);
            portText = target.mid(colon + 1);
        }
        const QString network = Ipv4Address::networkHost(name);
        if (network.isEmpty())
            return fail(QStringLiteral("not a host: %1").arg(name));
        for (const QChar c : network) {
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') &&
                c != QLatin1Char('-') && c != QLatin1Char('_'))
                return fail(QStringLiteral("not a host: %1").arg(name));
        }
        name = network;
    }
    if (name.isEmpty())
        return fail(QStringLiteral("no host"));
    if (!portText.isNull()) {
        bool ok = false;
        const uint value = portText.toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return fail(QStringLiteral("the port is 1..65535"));
        *port = quint16(value);
    }
    *host = name;
    return true;
}

bool SyslogForwarder::setTarget(const QString &text, QString *error)
{
    QString host;
    quint16 port = defaultPort;
    if (!parseTarget(text, &host, &port, error))
        return false;
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_lookupFailed = false;
    m_waiting.clear();
    m_host = host;
    m_port = port;
    m_address = QHostAddress(host);
    if (!m_host.isEmpty() && m_address.isNull())
        lookUp();
    return true;
}

QString SyslogForwarder::target() const
{
    if (m_host.isEmpty())
        return QString();
    return (m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']')
                                              : m_host) +
        QLatin1Char(':') + QString::number(m_port);
}

void SyslogForwarder::setProject(const ProjectModel *project)
{
    m_project = project;
}

void SyslogForwarder::forward(const EventRecord &record)
{
    if (m_host.isEmpty())
        return;
    SyslogMessage::Device device;
    const ProjectDevice *found =
        m_project && record.deviceId >= 0 ? m_project->findDeviceById(record.deviceId) : nullptr;
    if (found) {
        device.known = true;
        device.serial = found->serial;
        device.typeKey = deviceTypeKey(found->type);
        device.title = deviceTitle(found);
        if (found->ip_enabled)
            device.ip = found->ip_addr;
        if (found->rs485_enabled)
            device.rs485 = found->rs485_addr;
    }
    send(SyslogMessage::compose(record, device, m_localHost, m_app,
                                QCoreApplication::applicationPid()));
}

void SyslogForwarder::forwardAudit(const AuditRecord &record)
{
    if (!m_host.isEmpty())
        send(SyslogMessage::composeAudit(record, m_localHost, m_app,
                                         QCoreApplication::applicationPid()));
}

void SyslogForwarder::send(const QByteArray &datagram)
{
    if (m_address.isNull()) {
        // The name is being resolved (or did not resolve): keep a bounded number.
        if (m_lookupFailed &&
            QDateTime::currentMSecsSinceEpoch() - m_lookupFailedAtMs >= lookupRetryMs)
            lookUp();
        if (m_lookupId < 0) {
            ++m_dropped;
            return;
        }
        if (m_waiting.size() >= maxWaiting) {
            m_waiting.dequeue();
            ++m_dropped;
        }
        m_waiting.enqueue(datagram);
        return;
    }
    // A datagram is handed to the network stack or dropped; nothing waits for it.
    if (m_socket.writeDatagram(datagram, m_address, m_port) == datagram.size())
        ++m_sent;
    else
        ++m_dropped;
}

void SyslogForwarder::lookUp()
{
    m_lookupFailed = false;
    m_lookupId = QHostInfo::lookupHost(m_host, this, [this](const QHostInfo &info) {
        m_lookupId = -1;
        for (const QHostAddress &address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol ||
                address.protocol() == QAbstractSocket::IPv6Protocol) {
                m_address = address;
                break;
            }
        }
        if (m_address.isNull()) {
            m_lookupFailed = true;
            m_lookupFailedAtMs = QDateTime::currentMSecsSinceEpoch();
            m_dropped += quint64(m_waiting.size());
            m_waiting.clear();
            emit resolved();
            return;
        }
        while (!m_waiting.isEmpty())
            send(m_waiting.dequeue());
        emit resolved();
    });
}
