#include "tools/devsim/simcommandoptions.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simsignalquit.h"
#include "tools/devsim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
        QStringLiteral("Add a device; repeatable. SPEC is TYPEKEY:SERIAL[@ADDRESS], "
                       "for example horn:1001@127.0.0.2."),
        QStringLiteral("SPEC"));
    const QCommandLineOption projectOption(
        QStringLiteral("project"),
        QStringLiteral("Add every device with Ethernet of a project file."),
        QStringLiteral("FILE.mpj"));
    parser.addOption(deviceOption);
    parser.addOption(projectOption);
    const SimCommandOptions commandOptions;
    commandOptions.addTo(parser);
    parser.process(app);

    QTextStream err(stderr);
    Simulator simulator;
    for (const QString &spec : parser.values(deviceOption)) {
        QString error;
        if (!simulator.addDevice(spec, &error)) {
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
    SimCommandServer commandServer(&simulator);
    QTextStream out(stdout);
    if (const int status = commandOptions.start(parser, simulator, commandServer, out, err))
        return status;
    const SimSignalQuit signalQuit;
    return app.exec();
}
