#include "monitor/socketreadiness.h"

#include <QSocketNotifier>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

// Readiness collected per turn of the event loop at most; the rest comes next turn.
constexpr int maxEvents = 256;

// The event's data: the descriptor in the low half, the generation of its entry in the
// high half, so that readiness collected for a descriptor closed and reused meanwhile is
// never handed to its new owner.
quint64 tag(int fd, quint64 generation)
{
    return (generation << 32) | quint32(fd);
}

} // namespace

SocketReadiness::SocketReadiness(QObject *parent)
    : QObject(parent)
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0)
        return;
    m_notifier = new QSocketNotifier(m_epoll, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SocketReadiness::dispatch);
}

SocketReadiness::~SocketReadiness()
{
    delete m_notifier;
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool SocketReadiness::add(int fd, const Handler &handler, bool writable)
{
    if (m_epoll < 0 || fd < 0)
        return false;
    Entry entry;
    entry.handler = handler;
    entry.generation = ++m_generation & 0xffffffffu;
    epoll_event event {};
    event.events = EPOLLIN | EPOLLRDHUP | (writable ? quint32(EPOLLOUT) : 0u);
    event.data.u64 = tag(fd, entry.generation);
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    m_handlers.insert(fd, entry);
    return true;
}

void SocketReadiness::setWritable(int fd, bool writable)
{
    const auto it = m_handlers.constFind(fd);
    if (it == m_handlers.constEnd())
        return;
    epoll_event event {};
    event.events = EPOLLIN | EPOLLRDHUP | (writable ? quint32(EPOLLOUT) : 0u);
    event.data.u64 = tag(fd, it->generation);
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
}

void SocketReadiness::remove(int fd)
{
    if (m_handlers.remove(fd) == 0)
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

void SocketReadiness::dispatch()
{
    epoll_event events[maxEvents];
    const int count = ::epoll_wait(m_epoll, events, maxEvents, 0);
    for (int i = 0; i < count; ++i) {
        const int fd = int(quint32(events[i].data.u64));
        const quint64 generation = events[i].data.u64 >> 32;
        const auto it = m_handlers.constFind(fd);
        // Removed, or removed and added again, by a handler called before this one.
        if (it == m_handlers.constEnd() || it->generation != generation)
            continue;
        const Handler handler = it->handler;
        const quint32 flags = events[i].events;
        handler(flags & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR),
                flags & (EPOLLOUT | EPOLLHUP | EPOLLERR));
    }
}
