#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QSocketNotifier;

// Readiness of many sockets through one descriptor of the event loop: the sockets are
// watched by an epoll set of their own, and only the set's descriptor is registered
// with the loop. With thousands of sockets the loop then polls one descriptor instead
// of thousands, and a socket that starts or stops being watched costs one system call
// rather than a walk of the loop's list of descriptors.
//
// Sockets are watched for reading as long as they are added (level-triggered, so an
// idle socket costs nothing until its peer sends or closes) and for writing on request.
class SocketReadiness : public QObject {
    Q_OBJECT

public:
    // Called with whether the socket is readable (or closed, or failed) and writable.
    using Handler = std::function<void(bool readable, bool writable)>;

    explicit SocketReadiness(QObject *parent = nullptr);
    ~SocketReadiness() override;

    bool isValid() const { return m_epoll >= 0; }
    // Watches `fd` for reading (and writing with `writable`); false when it cannot be.
    bool add(int fd, const Handler &handler, bool writable = false);
    void setWritable(int fd, bool writable);
    // Stops watching `fd` (before it is closed): no handler call for it follows, not even
    // one of the readiness already collected.
    void remove(int fd);
    int watched() const { return m_handlers.size(); }

private:
    struct Entry {
        Handler handler;
        quint64 generation = 0;
    };

    void dispatch();

    int m_epoll = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, Entry> m_handlers;
    quint64 m_generation = 0;
};
