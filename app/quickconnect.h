#pragma once

#include "gui/devicewindowregistry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>

class Amodule;
class ProjectDevice;
class ProjectModel;
class QSettings;

// A connection to one device without a project (norda-console --connect): finds out which
// device answers at a TCP address or a USB port (its type from the answer to its version
// request, its serial number from its descriptor) and opens that device's settings window
// exactly as "Настройка" would for a project device. The device lives in a project of its
// own without journals, so nothing is written to the working folder. finished() comes once:
// when the window has closed (0), or when no window could be opened.
class QuickConnect : public QObject {
    Q_OBJECT

public:
    // Exit codes of the program for the ends of a quick connection.
    enum Code { Closed = 0, BadTarget = 1, NoDevice = 2, NoWindow = 3 };

    struct Target {
        bool usb = false;
        // TCP: the host, a dotted address written without leading zeros, or a host name.
        QString host;
        // TCP: the command port; 0 takes the one of the settings ([network] commandport).
        quint16 port = 0;
        // USB: the port's ids.
        uint16_t vendorId = 0;
        uint16_t productId = 0;

        QString text() const;
    };

    // "tcp://HOST[:PORT]" or "usb[:VID:PID]" (hexadecimal ids). A dotted address is read as
    // four decimal numbers 0 to 255 ("010" is ten); other forms of IPv4 addresses that the
    // network libraries would read ("127.1", "0x7f.0.0.1") are refused. False, with the
    // reason, for anything else.
    static bool parse(const QString &text, Target *target, QString *error);

    // `settings`: the program's settings file (window geometry, paths, factory access,
    // ports); not owned.
    QuickConnect(const Target &target, QSettings *settings, QObject *parent = nullptr);
    ~QuickConnect() override;

    // How long the device has to answer (10 s).
    void setTimeout(int ms) { timeoutMs = ms; }
    // Opens the firmware update window of the device instead of its settings window.
    void setFirmware(bool firmware) { firmwareWindow = firmware; }
    void start();
    // The settings window, once it is open.
    QWidget *window() const { return opened; }

signals:
    // `message`: one English line for standard error when the code is not Closed.
    void finished(int code, const QString &message);

private:
    void onIdentified(int type);
    void onSerial(const QString &value);
    void openWindow();
    void end(int code, const QString &message);

    Target target;
    QSettings *settings;
    quint16 commandPort;
    int timeoutMs = 10000;
    QTimer deadline;
    ProjectModel *probeProject = nullptr;
    ProjectDevice *probeDevice = nullptr;
    QPointer<Amodule> probe;
    bool serialFailed = false;
    int deviceType = 0;
    quint32 serial = 0;
    ProjectModel *project = nullptr;
    DeviceWindowRegistry registry;
    QPointer<QWidget> opened;
    bool ended = false;
    bool firmwareWindow = false;
};
