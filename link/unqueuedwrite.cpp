#include "link/unqueuedwrite.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

qint64 UnqueuedWrite::write(int fd, Kind kind, const QByteArray &bytes)
{
    qint64 done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const char *from = bytes.constData() + done;
        const size_t size = size_t(bytes.size() - done);
        const ssize_t n = kind == Kind::Socket ? ::send(fd, from, size, MSG_NOSIGNAL | MSG_DONTWAIT)
                                               : ::write(fd, from, size);
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}
