#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class SimDevice;

// A set of simulated devices, each on its own loopback address.
class Simulator : public QObject {
    Q_OBJECT

public:
    explicit Simulator(QObject *parent = nullptr);

    // "TYPEKEY:SERIAL[@ADDRESS]", e.g. "tovik2:1001@127.0.0.2". Without an address the
    // next free one from 127.0.0.2 upwards is used. Returns null and sets `error` on a
    // bad definition or an address outside 127.0.0.0/8.
    SimDevice *addDevice(const QString &definition, QString *error = nullptr);
    SimDevice *addDevice(int type, int serial, const QHostAddress &address);

    // Adds one device for every device of a project that has Ethernet enabled, with the
    // project's type, serial number and address. Returns the number added, or -1 when
    // the project cannot be read or names an address outside 127.0.0.0/8.
    int addProjectDevices(const QString &projectPath, QString *error = nullptr);

    const QList<SimDevice *> &devices() const { return m_devices; }
    SimDevice *deviceAt(const QHostAddress &address) const;
    SimDevice *deviceBySerial(int serial) const;

    static bool isLoopback(const QHostAddress &address);
    QHostAddress nextFreeAddress() const;

private:
    QList<SimDevice *> m_devices;
    QHash<quint32, SimDevice *> m_byAddress; // by IPv4 address
};
