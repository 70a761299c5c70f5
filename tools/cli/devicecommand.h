#pragma once

#include <QStringList>

class CliDeviceLink;

// "norda-cli device ...": talks to one device over TCP or its USB serial port through the
// device access facade, and lists the USB serial ports with what each answers.
class DeviceCommand {
public:
    // args[0] is "device"; returns the exit status.
    static int run(const QStringList &args);

private:
    static int ports();
    static int version(CliDeviceLink &link);
    static int get(CliDeviceLink &link, const QString &name);
    static int set(CliDeviceLink &link, const QString &name, const QString &value);
    static int read(CliDeviceLink &link, const QStringList &names);
    static int list(CliDeviceLink &link, const QString &dir);
    static int remove(CliDeviceLink &link, const QString &path);
    static int upload(CliDeviceLink &link, const QString &local, const QString &remote);
    static int download(CliDeviceLink &link, const QString &remote, const QString &local);
    static int flash(CliDeviceLink &link, const QString &file);
};
