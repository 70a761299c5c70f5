#include "tools/devsim/simptychannel.h"

#include "link/virtualportregistry.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

SimPtyChannel::SimPtyChannel(SimCommandDevice *device, const QString &registryDir,
                             const QString &entryName, uint16_t vendorId, uint16_t productId,
                             QObject *parent)
    : SimChannel(device, parent)
    , registryDir(registryDir)
    , entryName(entryName)
    , vid(vendorId)
    , pid(productId)
{
}

SimPtyChannel::~SimPtyChannel()
{
    unplug();
}

bool SimPtyChannel::plug(QString *error)
{
    if (isPlugged())
        return true;
    auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
        unplug();
        return false;
    };
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot prepare the pseudo-terminal"));
    slavePath = QString::fromLocal8Bit(name);
    // Holding the other end open keeps the pseudo-terminal alive while the console closes
    // and reopens its port; raw mode keeps the line discipline out of the bytes.
    slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0)
        return fail(QStringLiteral("cannot open %1").arg(slavePath));
    termios settings {};
    if (tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(slave, TCSANOW, &settings);
    }
    readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &SimPtyChannel::readMaster);
    writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &SimPtyChannel::writeMaster);

    PortDescription port;
    port.systemLocation = slavePath;
    port.portName = entryName;
    port.description = QStringLiteral("NORDA simulated device");
    port.manufacturer = QStringLiteral("norda-devsim");
    port.serialNumber = QString::number(device()->device()->serial);
    port.vendorId = vid;
    port.productId = pid;
    port.hasVendorId = port.hasProductId = true;
    if (!VirtualPortRegistry::publish(registryDir, entryName, port)) {
        errno = EIO;
        return fail(QStringLiteral("cannot write the registry entry in %1").arg(registryDir));
    }
    return true;
}

void SimPtyChannel::unplug()
{
    dropPending();
    output.clear();
    if (!slavePath.isEmpty())
        VirtualPortRegistry::withdraw(registryDir, entryName);
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    slave = master = -1;
    slavePath.clear();
}

void SimPtyChannel::readMaster()
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            bytesArrived(QByteArray(buffer, int(n)));
            // A short read took all there was; what comes later wakes the notifier again.
            if (master < 0 || n < ssize_t(sizeof buffer))
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;
    }
}

void SimPtyChannel::sendBytes(const QByteArray &bytes)
{
    if (master < 0)
        return;
    if (output.size() + bytes.size() > maxPendingOutput)
        return;
    output.append(bytes);
    writeMaster();
}

void SimPtyChannel::writeMaster()
{
    while (master >= 0 && !output.isEmpty()) {
        const ssize_t n = ::write(master, output.constData(), size_t(output.size()));
        if (n > 0) {
            output.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (writeNotifier)
        writeNotifier->setEnabled(!output.isEmpty());
}
