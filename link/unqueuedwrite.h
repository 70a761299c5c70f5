#pragma once

#include <QByteArray>
#include <QtGlobal>

// Writes straight to a port's or socket's descriptor while its Qt device holds nothing
// unwritten. QTcpSocket and QSerialPort switch their write notifier on and off around every
// write of their own, and each switch wakes the thread's event loop once more: for a short
// request or answer that is two system calls and a needless round of the loop. What the
// descriptor does not take now (and any error) is left to the Qt device, after these bytes.
class UnqueuedWrite {
public:
    enum class Kind { Socket, Port };

    // How many bytes of `bytes` the descriptor took at once (0 with `fd` < 0).
    static qint64 write(int fd, Kind kind, const QByteArray &bytes);
};
