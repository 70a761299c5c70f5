#include "link/lineexchange.h"

#include "link/connectiondevice.h"

#include <QDeadlineTimer>

LineExchange::LineExchange(ConnectionDevice *transport)
    : transport(transport)
{
}

QByteArray LineExchange::waitAnswerLine(int ms)
{
    const QDeadlineTimer deadline(qMax(ms, 0));
    for (;;) {
        if (transport->hasOverflowed()) {
            transport->clearReceived();
            return QByteArray();
        }
        const QByteArray line = transport->readLine();
        if (!line.isEmpty())
            return line;
        if (deadline.hasExpired())
            return QByteArray();
        transport->waitForLine(int(qMax<qint64>(deadline.remainingTime(), 0)));
    }
}

bool LineExchange::sendExpectOk(const QString &command, int ms)
{
    sendLine(command);
    return waitAnswerLine(ms) == "OK\r\n";
}

QString LineExchange::sendGetValue(const QString &command, bool *ok, int ms)
{
    sendLine(command);
    const QDeadlineTimer deadline(ms);
    const QByteArray first = waitAnswerLine(ms);
    if (first.isEmpty()) {
        *ok = false;
        return QString();
    }
    const QByteArray second = waitAnswerLine(int(qMax<qint64>(deadline.remainingTime(), 0)));
    if (second != "OK\r\n") {
        *ok = false;
        return QString();
    }
    *ok = true;
    const int end = first.indexOf("\r\n");
    return ConnectionDevice::decode(end < 0 ? first : first.left(end));
}

void LineExchange::sendLine(const QString &command)
{
    transport->pollRead();
    transport->clearReceived();
    transport->write(command + QStringLiteral("\r\n"));
}

void LineExchange::sendRaw(const QByteArray &bytes)
{
    transport->write(bytes);
}
