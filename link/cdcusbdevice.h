#pragma once

#include "link/connectiondevice.h"
#include "project/portdescription.h"

#include <cstdint>

class QSerialPort;

// Byte transport over a USB virtual serial port (115200 baud, 8N1, no flow control).
class CdcUsbDevice : public ConnectionDevice {
    Q_OBJECT

public:
    explicit CdcUsbDevice(QObject *parent = nullptr);
    ~CdcUsbDevice() override;

    bool open(const PortDescription &info);
    void close() override;
    qint64 write(const QByteArray &bytes) override;
    qint64 write(const QString &text) override;
    void pollRead() override;

    // The first present port with the fixed ids 0x0483:0x5740 or with the given ids; while
    // the transport is closed every port walked is logged.
    bool findPort(PortDescription &out, uint16_t vendorId, uint16_t productId);

    // The port of the last successful open.
    const PortDescription &openedPort() const { return current; }

public slots:
    void readyReadSlot();

protected:
    void waitForData(int ms) override;

private:
    void onError();

    QSerialPort *serial;
    PortDescription current;
    bool failed = false;
};
