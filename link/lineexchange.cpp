#include "link/lineexchange.h"

#include "link/connectiondevice.h"

#include <QDeadlineTimer>

LineExchange::LineExchange(ConnectionDevice *transport, int quietMs)
    : transport(transport)
    , quietMs(qMax(quietMs, 1))
{
}

QByteArray LineExchange::waitAnswerLine(int ms)
{
    const QDeadlineTimer deadline(qMax(ms, 0));
    for (;;) {
        if (transport->hasOverflowed()) {
            transport->clearReceived();
            outOfStep = true;
            return QByteArray();
        }
        const QByteArray line = transport->readLine();
        if (!line.isEmpty())
            return line;
        if (deadline.hasExpired()) {
            outOfStep = true;
            return QByteArray();
        }
        transport->waitForLine(int(qMax<qint64>(deadline.remainingTime(), 0)));
    }
}

bool LineExchange::sendExpectOk(const QString &command, int ms)
{
    return sendLine(command) && waitAnswerLine(ms) == "OK\r\n";
}

QString LineExchange::sendGetValue(const QString &command, bool *ok, int ms)
{
    *ok = false;
    if (!sendLine(command))
        return QString();
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
    const int end = first.indexOf("\r\n");
    const QByteArray value = end < 0 ? first : first.left(end);
    // Text would end at the NUL: the rest of the value would be lost without a word.
    if (value.contains('\0'))
        return QString();
    *ok = true;
    return ConnectionDevice::decode(value);
}

bool LineExchange::sendLine(const QString &command)
{
    if (!resynchronise())
        return false;
    transport->pollRead();
    transport->clearReceived();
    transport->write(command + QStringLiteral("\r\n"));
    return true;
}

bool LineExchange::resynchronise()
{
    if (!outOfStep)
        return true;
    const QDeadlineTimer bound(qint64(quietMs) * quietBoundFactor);
    QDeadlineTimer quiet(quietMs);
    for (;;) {
        transport->pollRead();
        if (transport->receivedSize() > 0 || transport->hasOverflowed()) {
            transport->clearReceived();
            quiet.setRemainingTime(quietMs);
        } else if (quiet.hasExpired()) {
            outOfStep = false;
            return true;
        }
        if (bound.hasExpired() || (stopFlag && stopFlag->load()))
            return false;
        // Wakes for a whole line, at the end of the quiet time, or to look at the stop flag;
        // bytes without a line feed are seen then and start the quiet time again.
        transport->waitForLine(int(
            qBound<qint64>(0, qMin(quiet.remainingTime(), bound.remainingTime()), stopCheckMs)));
    }
}

void LineExchange::sendRaw(const QByteArray &bytes)
{
    transport->write(bytes);
}
