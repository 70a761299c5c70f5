#include "app/mainwindow.h"
#include "app/quickconnect.h"
#include "gui/guiresources.h"
#include "gui/translations.h"
#include "journal/databaselog.h"
#include "journal/journallocation.h"
#include "journal/localzone.h"
#include "link/cdcusbsession.h"
#include "monitor/signalwatcher.h"
#include "project/apppaths.h"
#include "project/projectmodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaType>
#include <QSettings>
#include <QTextStream>

#include <cstdint>
#include <cstdio>

namespace {

// Diagnostics go to standard output as plain lines: the text only, no type or context.
void writeToStdout(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(type)
    Q_UNUSED(context)
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

// --help and --version print for the command line and manual pages: in Qt's own English,
// with no diagnostics on standard output.
bool printsInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

// norda-console --connect TARGET: the settings window of the device that answers there,
// without a project; closing it ends the program.
int runQuickConnect(QApplication &app, const QString &targetText, const QString &timeoutText,
                    bool firmware)
{
    QuickConnect::Target target;
    QString error;
    if (!QuickConnect::parse(targetText, &target, &error)) {
        QTextStream(stderr) << "norda-console: " << error << '\n';
        return QuickConnect::BadTarget;
    }
    bool ok = true;
    const double seconds = timeoutText.isEmpty() ? 10.0 : timeoutText.toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 3600) {
        QTextStream(stderr)
            << "norda-console: --timeout takes a number of seconds from 0 to 3600\n";
        return QuickConnect::BadTarget;
    }
    initGuiResources();
    QSettings settings(MainWindow::defaultSettingsPath(), QSettings::IniFormat);
    QuickConnect quick(target, &settings);
    quick.setTimeout(int(seconds * 1000));
    quick.setFirmware(firmware);
    QObject::connect(&quick, &QuickConnect::finished, &app, [](int code, const QString &message) {
        if (!message.isEmpty())
            QTextStream(stderr) << "norda-console: " << message << '\n';
        QCoreApplication::exit(code);
    });
    quick.start();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    LocalZone::pin();
    const bool informational = printsInformation(argc, argv);
    if (!informational)
        qInstallMessageHandler(writeToStdout);
    QApplication app(argc, argv);
    // Qt's own buttons and dialogs in Russian, whatever the system's language.
    if (!informational)
        Translations::install(&app);
    QCoreApplication::setApplicationName(QStringLiteral("norda-console"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORDA_VERSION));
    // Flashing signals carry uint32_t values between threads.
    qRegisterMetaType<uint32_t>("uint32_t");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("NORDA-СЕТЬ configuration and monitoring console. Without options it "
                       "opens its main window on the last project."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption connectOption(
        QStringLiteral("connect"),
        QStringLiteral("Opens the settings window of the device that answers at TARGET, "
                       "without a project: tcp://HOST[:PORT] (the port of [network] "
                       "commandport by default) or usb[:VID:PID]. Closing it ends the program."),
        QStringLiteral("TARGET"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("With --connect: how long the device has to answer (10 s)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption firmwareOption(
        QStringLiteral("firmware"),
        QStringLiteral("With --connect: opens the firmware update window of the device instead "
                       "of its settings window."));
    parser.addOption(connectOption);
    parser.addOption(timeoutOption);
    parser.addOption(firmwareOption);
    if (!parser.parse(QCoreApplication::arguments())) {
        QTextStream(stderr) << "norda-console: " << parser.errorText() << '\n';
        return 1;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    // An installed copy writes under the user's folders only: the journals go to its data
    // folder, which becomes the current folder, and settings.ini to its configuration
    // folder.
    if (AppPaths::isInstalled()) {
        QDir().mkpath(QFileInfo(AppPaths::settingsFile()).absolutePath());
        if (!QDir::setCurrent(AppPaths::dataFolder())) {
            QTextStream(stderr) << "norda-console: cannot use the folder " << AppPaths::dataFolder()
                                << '\n';
            return 1;
        }
    }

    // SIGTERM, SIGHUP and SIGINT end the program as a normal quit does: the window is
    // destroyed below, which writes and closes the journals.
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::interrupted, &app, [](int number) {
        qDebug().noquote() << "Quit on signal" << number;
        QCoreApplication::exit(0);
    });

    int result = 0;
    if (parser.isSet(firmwareOption) && !parser.isSet(connectOption)) {
        QTextStream(stderr) << "norda-console: --firmware needs --connect\n";
        return 1;
    }
    if (parser.isSet(connectOption)) {
        result = runQuickConnect(app, parser.value(connectOption), parser.value(timeoutOption),
                                 parser.isSet(firmwareOption));
    } else {
        // A journal that cannot be used stops the start: never the local files instead.
        const JournalLocation journal = MainWindow::journalLocation(
            QSettings(MainWindow::defaultSettingsPath(), QSettings::IniFormat));
        if (!journal.isValid()) {
            QTextStream(stderr) << "norda-console: [journal] database: " << journal.error() << '\n';
            initGuiResources();
            QMessageBox::critical(nullptr, QStringLiteral("Ошибка"),
                                  QStringLiteral("Журнал недоступен: ") + journal.error());
            return 2;
        }
        auto *window = new MainWindow;
        const DatabaseLog *log = window->project()->logDb;
        if (log && log->schemaRefused()) {
            QTextStream(stderr) << "norda-console: " << log->openError() << '\n';
            QMessageBox::critical(window, QStringLiteral("Ошибка"),
                                  QStringLiteral("Журнал недоступен: ") + log->openError());
            delete window;
            return 2;
        }
        window->installDeviceWindows();
        window->show();
        result = app.exec();
        delete window;
    }
    CdcUsbSession::stopAllAndWait(5000);
    return result;
}
