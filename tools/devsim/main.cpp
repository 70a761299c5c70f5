#include "monitor/openfileslimit.h"
#include "tools/devsim/simcommandoptions.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simscreen.h"
#include "tools/devsim/simsignalquit.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norda-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORDA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates NORDA devices on loopback addresses (127.0.0.0/8)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Add a device; repeatable. DEVICE is TYPEKEY:SERIAL[@ADDRESS], "
                       "for example horn:1001@127.0.0.2."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption projectOption(
        QStringLiteral("project"),
        QStringLiteral("Add every device with Ethernet of a project file."),
        QStringLiteral("FILE.mpj"));
    parser.addOption(deviceOption);
    parser.addOption(projectOption);
    const QCommandLineOption statusPortOption(
        QStringLiteral("status-port"),
        QStringLiteral("Serve GET /status on every device's address at this port."),
        QStringLiteral("PORT"));
    const QCommandLineOption timelineOption(
        QStringLiteral("timeline"),
        QStringLiteral("Apply the changes of a timeline file (\"at 20 s device 3 line 2 open\"). "
                       "\"line-value L MV\" sets the millivolts a normal alarm line L measures "
                       "(LO_CURRENT_VALUES; calibrating the line, SET "
                       "desc_LoCtrlCalibCmd[L-1] 1, makes them its norm and the unit's clock its "
                       "calibration time); \"console K faulty\" and \"extension J faulty\" "
                       "also set bits 120+K-1 and 152+J-1 of the BINSTATUS answer."),
        QStringLiteral("FILE"));
    const QCommandLineOption versionOption(
        QStringLiteral("device-version"),
        QStringLiteral("Firmware version the device with this serial number reports (default "
                       "1.0.0); the third part is the build number, which decides what a "
                       "central unit has (576: MAC address, device name, BUU-2). Repeatable."),
        QStringLiteral("SERIAL=VERSION"));
    const QCommandLineOption sharedOption(
        QStringLiteral("shared-listener"),
        QStringLiteral("Serve every device from one listening socket per port on the wildcard "
                       "address 0.0.0.0 instead of one per device address (thousands of "
                       "devices); a connection is the device's whose address it arrived on. "
                       "Connections that arrive on an address outside 127.0.0.0/8 are closed "
                       "at once and logged."));
    parser.addOption(statusPortOption);
    parser.addOption(sharedOption);
    parser.addOption(timelineOption);
    parser.addOption(versionOption);
    const SimCommandOptions commandOptions;
    commandOptions.addTo(parser);
    const SimScreen screenOptions;
    screenOptions.addTo(parser);
    parser.process(app);

    QTextStream err(stderr);
    // Every device keeps a connection (two listening sockets each without
    // --shared-listener): as many open files as the system allows.
    OpenFilesLimit::raiseToHard();
    const bool shared = parser.isSet(sharedOption);
    Simulator simulator;
    for (const QString &definition : parser.values(deviceOption)) {
        QString error;
        if (!simulator.addDevice(definition, &error)) {
            err << "norda-devsim: " << error << Qt::endl;
            return 1;
        }
    }
    if (parser.isSet(projectOption)) {
        QString error;
        if (simulator.addProjectDevices(parser.value(projectOption), &error) < 0) {
            err << "norda-devsim: " << error << Qt::endl;
            return 2;
        }
    }
    if (simulator.devices().isEmpty()) {
        err << "norda-devsim: no devices; use --device or --project" << Qt::endl;
        return 1;
    }

    static const QRegularExpression versionPattern(
        QStringLiteral("^(\\d+)=(\\d{1,3}\\.\\d{1,3}(?:\\.\\d{1,5})?)$"));
    for (const QString &text : parser.values(versionOption)) {
        const QRegularExpressionMatch match = versionPattern.match(text);
        SimDevice *device =
            match.hasMatch() ? simulator.deviceBySerial(match.captured(1).toInt()) : nullptr;
        if (!device) {
            err << "norda-devsim: bad device version '" << text
                << "': expected the SERIAL=VERSION of a simulated device, for example "
                   "4201=1.2.620"
                << Qt::endl;
            return 1;
        }
        device->version = match.captured(2);
    }

    if (const int status = screenOptions.apply(parser, simulator, err))
        return status;

    // The HTTP status side and the timeline.
    SimStatusServer *statusServer = nullptr;
    if (parser.isSet(statusPortOption)) {
        bool ok = false;
        const uint port = parser.value(statusPortOption).toUInt(&ok);
        QString error;
        statusServer = new SimStatusServer(&simulator, quint16(port), &app);
        if (!ok || port == 0 || port > 65535 || !statusServer->start(&error, shared)) {
            err << "norda-devsim: " << (ok ? error : QStringLiteral("bad status port")) << Qt::endl;
            return 2;
        }
    }
    SimTimeline timeline(&simulator, statusServer);
    if (parser.isSet(timelineOption)) {
        QString error;
        if (!timeline.load(parser.value(timelineOption), &error)) {
            err << "norda-devsim: " << error << Qt::endl;
            return 1;
        }
    }
    QTextStream out(stdout);
    QObject::connect(&timeline, &SimTimeline::stepApplied, &app,
                     [&out](const QString &text) { out << "norda-devsim: " << text << Qt::endl; });
    SimCommandServer commandServer(&simulator);
    auto logForeign = [&out](const QHostAddress &local, const QHostAddress &peer) {
        out << "norda-devsim: closed a connection from " << peer.toString() << " to "
            << local.toString() << ": not a loopback address" << Qt::endl;
    };
    QObject::connect(&commandServer, &SimCommandServer::foreignConnectionClosed, &app, logForeign);
    if (statusServer)
        QObject::connect(statusServer, &SimStatusServer::foreignConnectionClosed, &app, logForeign);
    if (const int status = commandOptions.start(parser, simulator, commandServer, out, err,
                                                statusServer != nullptr, shared))
        return status;
    const char *sharedText = " (one listener per port on 0.0.0.0; connections to addresses "
                             "outside 127.0.0.0/8 are closed at once and logged)";
    // Announced once every port listens: a client started on this line finds all of them.
    if (statusServer)
        out << "norda-devsim: status on port " << statusServer->port() << " for "
            << simulator.devices().size() << " devices" << (shared ? sharedText : "") << Qt::endl;
    else if (shared)
        out << "norda-devsim: commands for " << simulator.devices().size() << " devices"
            << sharedText << Qt::endl;
    timeline.start();
    const SimSignalQuit signalQuit;
    return app.exec();
}
