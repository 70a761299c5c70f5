#include "link/cdcusbdevice.h"

#include "link/linklog.h"
#include "link/serialportenumerator.h"
#include "link/unqueuedwrite.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QThread>

CdcUsbDevice::CdcUsbDevice(QObject *parent)
    : ConnectionDevice(parent)
    , serial(new QSerialPort(this))
{
    qCDebug(lcLink) << "CdcUsbDevice";
    port = serial;
    connect(serial, &QSerialPort::readyRead, this, &CdcUsbDevice::readyReadSlot);
    connect(serial, &QSerialPort::errorOccurred, this, &CdcUsbDevice::onError);
}

CdcUsbDevice::~CdcUsbDevice()
{
    qCDebug(lcLink) << "~CdcUsbDevice";
    delete serial;
    port = nullptr;
}

bool CdcUsbDevice::open(const PortDescription &info)
{
    // Real ports go by their system name as QSerialPortInfo reports it; virtual ones by
    // the absolute path of their pseudo-terminal.
    serial->setPortName(info.isVirtual ? info.systemLocation : info.portName);
    serial->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    serial->setReadBufferSize(65536);
    failed = false;
    if (serial->open(QIODevice::ReadWrite)) {
        serial->clear(QSerialPort::AllDirections);
        qCDebug(lcLink) << "Open OK.";
        current = info;
        opened = true;
        return true;
    }
    qCDebug(lcLink).noquote() << "Open fail." << serial->errorString() << serial->portName();
    opened = false;
    return false;
}

void CdcUsbDevice::close()
{
    serial->close();
    opened = false;
}

qint64 CdcUsbDevice::write(const QByteArray &bytes)
{
    const qint64 done = UnqueuedWrite::write(
        serial->isOpen() && serial->bytesToWrite() == 0 ? int(serial->handle()) : -1,
        UnqueuedWrite::Kind::Port, bytes);
    if (done == bytes.size())
        return done;
    const qint64 written = serial->write(bytes.constData() + done, bytes.size() - done);
    serial->flush();
    return written < 0 ? (done > 0 ? done : written) : done + written;
}

qint64 CdcUsbDevice::write(const QString &text)
{
    qCDebug(lcLink).noquote() << text.trimmed();
    return write(encode(text));
}

void CdcUsbDevice::pollRead()
{
    if (serial->isOpen() && serial->bytesAvailable() > 0)
        appendReceived(serial->readAll());
}

void CdcUsbDevice::readyReadSlot()
{
    while (serial->isOpen() && serial->bytesAvailable() > 0)
        appendReceived(serial->readAll());
}

bool CdcUsbDevice::findPort(PortDescription &out, uint16_t vendorId, uint16_t productId)
{
    return SerialPortEnumerator::findPort(out, vendorId, productId, !opened);
}

void CdcUsbDevice::waitForData(int ms)
{
    if (!serial->isOpen() || failed) {
        ConnectionDevice::waitForData(ms);
        return;
    }
    const QDeadlineTimer deadline(ms);
    // waitForReadyRead sleeps in the kernel; it only returns early when the port failed,
    // and then nothing can arrive before the deadline anyway.
    if (!serial->waitForReadyRead(ms) && !deadline.hasExpired())
        ConnectionDevice::waitForData(int(deadline.remainingTime()));
}

void CdcUsbDevice::onError()
{
    const QSerialPort::SerialPortError error = serial->error();
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (failed)
        return;
    failed = true;
    qCDebug(lcLink).noquote() << "Port error:" << serial->errorString();
    emit portFailed();
}
