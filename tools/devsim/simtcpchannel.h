#pragma once

#include "tools/devsim/simchannel.h"

class QTcpSocket;

// A TCP connection of the console to a simulated device's command port. Deletes itself
// when the connection ends.
class SimTcpChannel : public SimChannel {
    Q_OBJECT

public:
    SimTcpChannel(SimCommandDevice *device, QTcpSocket *socket, QObject *parent = nullptr);

    void shutdown() override;

protected:
    void sendBytes(const QByteArray &bytes) override;

private:
    QTcpSocket *socket;
};
