#include "tools/devsim/simchannel.h"

#include "tools/devsim/simcommanddevice.h"

#include <QSocketNotifier>
#include <QTextCodec>

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr qint64 nanosPerSecond = 1000000000;
constexpr qint64 nanosPerMs = 1000000;

QString requestText(const QByteArray &raw)
{
    // Requests are mostly plain ASCII, which Windows-1251 carries as it is.
    for (const char c : raw) {
        if (uchar(c) >= 0x80) {
            static QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
            return codec->toUnicode(raw);
        }
    }
    return QString::fromLatin1(raw);
}

} // namespace

SimChannel::SimChannel(SimCommandDevice *device, QObject *parent)
    : QObject(parent)
    , m_device(device)
{
    fallbackTimer.setSingleShot(true);
    fallbackTimer.setTimerType(Qt::PreciseTimer);
    connect(&fallbackTimer, &QTimer::timeout, this, &SimChannel::runDue);
}

SimChannel::~SimChannel()
{
    delete timerNotifier;
    if (timerFd >= 0)
        ::close(timerFd);
}

qint64 SimChannel::now()
{
    timespec time {};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return qint64(time.tv_sec) * nanosPerSecond + time.tv_nsec;
}

qint64 SimChannel::nanosPerByte() const
{
    const int baud = m_device ? m_device->faults.baud : 0;
    // Start bit, eight data bits, stop bit.
    return baud > 0 ? qint64(10) * nanosPerSecond / baud : 0;
}

void SimChannel::bytesArrived(const QByteArray &bytes)
{
    const qint64 perByte = nanosPerByte();
    if (perByte == 0 && pendingInput.empty()) {
        handleInput(bytes, now());
        return;
    }
    // The request is complete only once its last byte would have crossed the line.
    inputDone = qMax(inputDone, now()) + perByte * bytes.size();
    pendingInput.push_back({inputDone, bytes});
    arm();
}

void SimChannel::handleInput(const QByteArray &bytes, qint64 receivedAt)
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
        int lateMs = 0;
        const QByteArray answer = m_device->respond(requestText(raw), &lateMs);
        if (!answer.isEmpty())
            deliver(answer, lateMs, receivedAt);
    }
    if (input.size() > maxRequestLine)
        input.clear();
}

void SimChannel::deliver(const QByteArray &answer, int lateMs, qint64 receivedAt)
{
    const SimFaults &faults = m_device->faults;
    const qint64 perByte = nanosPerByte();
    const qint64 delayMs = qint64(faults.delayMs) + lateMs;
    if (perByte == 0 && delayMs == 0 && !faults.splitBytes && pendingOutput.empty()) {
        sendBytes(answer);
        return;
    }
    // Answers leave in the order of their requests: those after a late one wait for it.
    // The answer starts once its request was in, however late this thread got to it.
    qint64 start = qMax(outputDone, receivedAt + delayMs * nanosPerMs);
    if (faults.splitBytes) {
        // A piece at a time (one byte unless told), each a millisecond (or its wire time)
        // after the last.
        const int size = qMax(faults.splitSize, 1);
        const qint64 gap = qMax<qint64>(perByte * size, nanosPerMs);
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
    if (timerFd < 0 && next >= 0 && !timerFdRefused) {
        timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        timerFdRefused = timerFd < 0;
        if (timerFd >= 0) {
            timerNotifier = new QSocketNotifier(timerFd, QSocketNotifier::Read, this);
            connect(timerNotifier, &QSocketNotifier::activated, this, [this] {
                quint64 expirations = 0;
                while (::read(timerFd, &expirations, sizeof expirations) < 0 && errno == EINTR) { }
                runDue();
            });
        }
    }
    if (timerFd >= 0) {
        // An absolute due time (zero disarms); one in the past fires at once.
        itimerspec due {};
        if (next >= 0) {
            const qint64 at = qMax<qint64>(next, 1);
            due.it_value.tv_sec = time_t(at / nanosPerSecond);
            due.it_value.tv_nsec = long(at % nanosPerSecond);
        }
        ::timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &due, nullptr);
        return;
    }
    if (next < 0) {
        fallbackTimer.stop();
        return;
    }
    // Rounded up: a millisecond timer never lets a byte out before its time.
    const qint64 wait = next - now();
    fallbackTimer.start(int(qMax<qint64>((wait + nanosPerMs - 1) / nanosPerMs, 0)));
}

void SimChannel::runDue()
{
    for (;;) {
        const bool inputFirst = !pendingInput.empty() &&
            (pendingOutput.empty() || pendingInput.front().due <= pendingOutput.front().due);
        std::deque<Pending> *queue = inputFirst ? &pendingInput : &pendingOutput;
        if (queue->empty() || queue->front().due > now())
            break;
        const Pending item = queue->front();
        queue->pop_front();
        if (inputFirst)
            handleInput(item.bytes, item.due);
        else
            sendBytes(item.bytes);
    }
    arm();
}

void SimChannel::dropPending()
{
    pendingInput.clear();
    pendingOutput.clear();
    input.clear();
    arm();
}
