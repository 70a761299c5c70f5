#include "tools/devsim/simchannel.h"

#include "tools/devsim/simcommanddevice.h"

#include <QTextCodec>

#include <ctime>

namespace {

void sleepNanos(qint64 nanos)
{
    if (nanos <= 0)
        return;
    timespec request {time_t(nanos / 1000000000), long(nanos % 1000000000)};
    while (nanosleep(&request, &request) != 0) { }
}

} // namespace

SimChannel::SimChannel(SimCommandDevice *device, QObject *parent)
    : QObject(parent)
    , m_device(device)
{
    clock.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &SimChannel::runDue);
}

qint64 SimChannel::nanosPerByte() const
{
    const int baud = m_device ? m_device->faults.baud : 0;
    // Start bit, eight data bits, stop bit.
    return baud > 0 ? qint64(10) * 1000000000 / baud : 0;
}

void SimChannel::bytesArrived(const QByteArray &bytes)
{
    const qint64 perByte = nanosPerByte();
    if (perByte == 0 && pendingInput.empty()) {
        handleInput(bytes);
        return;
    }
    // The request is complete only once its last byte would have crossed the line.
    inputDone = qMax(inputDone, now()) + perByte * bytes.size();
    pendingInput.push_back({inputDone, bytes});
    arm();
}

void SimChannel::handleInput(const QByteArray &bytes)
{
    input.append(bytes);
    for (;;) {
        const int lf = input.indexOf('\n');
        if (lf < 0)
            break;
        QByteArray raw = input.left(lf);
        input.remove(0, lf + 1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (!m_device)
            return;
        static QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
        int lateMs = 0;
        const QByteArray answer = m_device->respond(codec->toUnicode(raw), &lateMs);
        if (!answer.isEmpty())
            deliver(answer, lateMs);
    }
    if (input.size() > maxRequestLine)
        input.clear();
}

void SimChannel::deliver(const QByteArray &answer, int lateMs)
{
    const SimFaults &faults = m_device->faults;
    const qint64 perByte = nanosPerByte();
    const qint64 delayMs = qint64(faults.delayMs) + lateMs;
    if (perByte == 0 && delayMs == 0 && !faults.splitBytes && pendingOutput.empty()) {
        sendBytes(answer);
        return;
    }
    // Answers leave in the order of their requests: those after a late one wait for it.
    qint64 start = qMax(outputDone, now() + delayMs * 1000000);
    if (faults.splitBytes) {
        // A piece at a time (one byte unless told), each a millisecond (or its wire time)
        // after the last.
        const int size = qMax(faults.splitSize, 1);
        const qint64 gap = qMax<qint64>(perByte * size, 1000000);
        for (int at = 0; at < answer.size(); at += size) {
            start += gap;
            pendingOutput.push_back({start, answer.mid(at, size)});
        }
    } else {
        start += perByte * answer.size();
        pendingOutput.push_back({start, answer});
    }
    outputDone = start;
    arm();
}

void SimChannel::arm()
{
    qint64 next = -1;
    if (!pendingInput.empty())
        next = pendingInput.front().due;
    if (!pendingOutput.empty() && (next < 0 || pendingOutput.front().due < next))
        next = pendingOutput.front().due;
    if (next < 0) {
        timer.stop();
        return;
    }
    // The timer wakes us just before the due time; runDue() sleeps the last fraction of a
    // millisecond, so that paced bytes leave on time.
    const qint64 wait = next - now();
    timer.start(int(qMax<qint64>(wait / 1000000 - 1, 0)));
}

void SimChannel::runDue()
{
    for (;;) {
        const bool inputFirst = !pendingInput.empty() &&
            (pendingOutput.empty() || pendingInput.front().due <= pendingOutput.front().due);
        std::deque<Pending> *queue = inputFirst ? &pendingInput : &pendingOutput;
        if (queue->empty())
            break;
        const qint64 wait = queue->front().due - now();
        if (wait > 2000000)
            break;
        sleepNanos(wait);
        const QByteArray bytes = queue->front().bytes;
        queue->pop_front();
        if (inputFirst)
            handleInput(bytes);
        else
            sendBytes(bytes);
    }
    arm();
}

void SimChannel::dropPending()
{
    pendingInput.clear();
    pendingOutput.clear();
    input.clear();
    timer.stop();
}
