#include "link/connectiondevice.h"

#include "link/linklog.h"

#include <QDeadlineTimer>
#include <QTextCodec>
#include <QThread>

namespace {

QTextCodec *wireCodec()
{
    static QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
    return codec;
}

} // namespace

ConnectionDevice::ConnectionDevice(QObject *parent)
    : QObject(parent)
{
    qCDebug(lcLink) << "ConnectionDevice";
}

ConnectionDevice::~ConnectionDevice()
{
    qCDebug(lcLink) << "~ConnectionDevice";
}

QByteArray ConnectionDevice::takeReceived()
{
    QMutexLocker lock(&rxMutex);
    QByteArray bytes;
    bytes.swap(rxBuffer);
    bytes.remove(0, readPos);
    readPos = 0;
    overflowed = false;
    return bytes;
}

qint64 ConnectionDevice::receivedSize() const
{
    QMutexLocker lock(&rxMutex);
    return rxBuffer.size() - readPos;
}

void ConnectionDevice::clearReceived()
{
    QMutexLocker lock(&rxMutex);
    rxBuffer.clear();
    readPos = 0;
    overflowed = false;
}

QByteArray ConnectionDevice::readLine()
{
    QMutexLocker lock(&rxMutex);
    const int lf = rxBuffer.indexOf('\n', readPos);
    if (lf < 0)
        return QByteArray();
    // The bytes taken stay in front of the read position until the next arrival compacts
    // the buffer: removing each line from the front would move the rest of the buffer
    // once per line.
    const QByteArray line = rxBuffer.mid(readPos, lf + 1 - readPos);
    readPos = lf + 1;
    if (readPos == rxBuffer.size()) {
        rxBuffer.clear();
        readPos = 0;
    }
    return line;
}

bool ConnectionDevice::canReadLine() const
{
    QMutexLocker lock(&rxMutex);
    return rxBuffer.indexOf('\n', readPos) >= 0;
}

bool ConnectionDevice::hasOverflowed() const
{
    QMutexLocker lock(&rxMutex);
    return overflowed;
}

void ConnectionDevice::discardInput()
{
    waitForData(0);
    pollRead();
    clearReceived();
}

bool ConnectionDevice::waitForLine(int ms)
{
    const QDeadlineTimer deadline(qMax(ms, 0));
    for (;;) {
        pollRead();
        if (canReadLine())
            return true;
        if (deadline.hasExpired())
            return false;
        waitForData(int(qMax<qint64>(deadline.remainingTime(), 0)));
    }
}

qint64 ConnectionDevice::write(const QByteArray &)
{
    return 0;
}

qint64 ConnectionDevice::write(const QString &)
{
    return 0;
}

void ConnectionDevice::pollRead() { }

void ConnectionDevice::close() { }

QByteArray ConnectionDevice::encode(const QString &text)
{
    // Windows-1251 carries plain ASCII as it is; the codec opens a converter per call, which
    // is worth it only for the other characters.
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return wireCodec()->fromUnicode(text);
    }
    return text.toLatin1();
}

QString ConnectionDevice::decode(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    const int size = zero < 0 ? bytes.size() : zero;
    const char *data = bytes.constData();
    for (int i = 0; i < size; ++i) {
        if (uchar(data[i]) >= 0x80)
            return wireCodec()->toUnicode(data, size);
    }
    return QString::fromLatin1(data, size);
}

bool ConnectionDevice::isWireText(const QString &text, QString *reason)
{
    QString why;
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            why = QStringLiteral("it holds a line break (carriage return or line feed)");
            break;
        }
        if (c.unicode() == 0) {
            why = QStringLiteral("it holds a NUL character");
            break;
        }
    }
    if (why.isEmpty()) {
        const QString back = wireCodec()->toUnicode(wireCodec()->fromUnicode(text));
        if (back != text) {
            int at = 0;
            while (at < text.size() && at < back.size() && text.at(at) == back.at(at))
                ++at;
            uint code = at < text.size() ? text.at(at).unicode() : 0;
            if (QChar::isHighSurrogate(code) && at + 1 < text.size() &&
                text.at(at + 1).isLowSurrogate())
                code = QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
            const QString hex =
                QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'));
            why = QStringLiteral("it holds a character that Windows-1251 cannot carry (U+%1)")
                      .arg(hex);
        }
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

void ConnectionDevice::appendReceived(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    {
        QMutexLocker lock(&rxMutex);
        // Once per arrival, not once per line: the lines taken since the last arrival go.
        if (readPos > 0) {
            rxBuffer.remove(0, readPos);
            readPos = 0;
        }
        const int room = maxBuffered - rxBuffer.size();
        if (bytes.size() > room) {
            rxBuffer.append(bytes.constData(), qMax(room, 0));
            overflowed = true;
        } else {
            rxBuffer.append(bytes);
        }
        const int tailStart = rxBuffer.lastIndexOf('\n') + 1;
        if (rxBuffer.size() - tailStart > maxPartialLine) {
            rxBuffer.truncate(tailStart + maxPartialLine);
            overflowed = true;
        }
    }
    emit received();
}

void ConnectionDevice::waitForData(int ms)
{
    QThread::msleep(ulong(qMax(ms, 0)));
}
