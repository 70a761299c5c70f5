#pragma once

#include "link/connectiondevice.h"
#include "link/networkports.h"

#include <QByteArray>

class QTcpSocket;

// Byte transport over a TCP connection to the device's command port.
class CdcTcpDevice : public ConnectionDevice {
    Q_OBJECT

public:
    explicit CdcTcpDevice(QObject *parent = nullptr);
    ~CdcTcpDevice() override;

    // Starts connecting and reports success at once; whether the connection comes up is
    // seen later through isConnected().
    bool open(const QString &host, quint16 tcpPort = NetworkPorts::defaultCommandPort);
    void close() override;
    bool isConnected() const;
    qint64 write(const QByteArray &bytes) override;
    qint64 write(const QString &text) override;

public slots:
    void readyReadSlot();
    void socketConnected();

protected:
    void waitForData(int ms) override;

private:
    QTcpSocket *socket;
    QByteArray pending;
};
