// Renders the main window on the demonstration project and writes the pictures as PNG
// files: norda-screenshots OUTPUT_FOLDER PROJECT.mpj
//
// The project's devices are simulated in this process on their loopback addresses, put
// into a few faults, and polled by the window for real; the monitoring pictures show the
// fault pane of the faulty central unit and the journal with the events that followed.
// The settings window of the IP console is opened with "Настройка" and drawn once it has
// read the console. Run it on the offscreen platform (scripts/screenshots.sh does).

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {

// What has gone wrong on the simulated network when the pictures are taken.
const char *const faults[] = {
    "serial 4201 line 3 open", "serial 4201 fault tamper on",  "serial 4201 mode 3",
    "serial 4201 byte3 0x05",  "serial 4201 console 2 faulty", "serial 4201 extension 1 faulty",
    "serial 702 http silent",
};

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString writeSettings(const QString &folder, const QString &projectPath, bool monitoring,
                      quint16 statusPort, quint16 commandPort)
{
    const QString path =
        folder + (monitoring ? QStringLiteral("/monitoring.ini") : QStringLiteral("/config.ini"));
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(QStringLiteral("application/rivar"), monitoring ? "1" : "0");
    settings.setValue(QStringLiteral("mainwindow/width"), "1280");
    settings.setValue(QStringLiteral("mainwindow/height"), "720");
    settings.setValue(QStringLiteral("mainwindow/left"), "0");
    settings.setValue(QStringLiteral("mainwindow/top"), "0");
    settings.setValue(QStringLiteral("paths/lastproject"), projectPath);
    settings.setValue(QStringLiteral("network/statusport"), QString::number(statusPort));
    settings.setValue(QStringLiteral("network/commandport"), QString::number(commandPort));
    settings.setValue(QStringLiteral("basedevicewindow/width"), "900");
    settings.setValue(QStringLiteral("basedevicewindow/height"), "560");
    settings.setValue(QStringLiteral("basedevicewindow/left"), "0");
    settings.setValue(QStringLiteral("basedevicewindow/top"), "0");
    return path;
}

void showWholeTree(MainWindow &window, int selectedSerial)
{
    for (ProjectGroup *group : window.project()->allGroups())
        window.treeView()->expandNode(group);
    window.treeView()->selectNode(window.project()->findDeviceBySerial(selectedSerial));
    QApplication::processEvents();
}

bool save(QWidget &window, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    QFile::remove(path);
    if (!window.grab().save(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << "wrote " << path << '\n';
    return true;
}

// "Настройка" on the IP console: its window, once it has read the console, on the tab of
// its audio files.
bool renderConsoleWindow(MainWindow &window, const QString &output)
{
    window.treeView()->selectNode(window.project()->findDeviceBySerial(4301));
    auto *setup = window.findChild<QPushButton *>(QStringLiteral("pushButtonOpenSetupDevice"));
    if (!setup || !setup->isEnabled()) {
        QTextStream(stderr) << "the IP console's settings window cannot be opened\n";
        return false;
    }
    setup->click();
    QWidget *device = QApplication::activeModalWidget();
    if (!device) {
        QTextStream(stderr) << "the IP console's settings window did not open\n";
        return false;
    }
    wait(2500);
    if (auto *tabs = device->findChild<QTabWidget *>(QStringLiteral("tabWidget")))
        tabs->setCurrentIndex(1);
    QApplication::processEvents();
    const bool saved = save(*device, output, QStringLiteral("ipconsole.png"));
    device->close();
    QApplication::processEvents();
    return saved;
}

bool render(const QString &output, const QString &work, const QString &projectPath,
            quint16 statusPort, quint16 commandPort, const std::function<bool()> &breakDown)
{
    {
        // Configuration: the LAN search has found the devices that answer.
        MainWindow window(writeSettings(work, projectPath, false, statusPort, commandPort));
        window.installDeviceWindows();
        window.show();
        window.on_pushButton_clicked();
        wait(1500);
        showWholeTree(window, 4201);
        if (!save(window, output, QStringLiteral("configuration.png")))
            return false;
        if (!renderConsoleWindow(window, output))
            return false;
    }
    MainWindow window(writeSettings(work, projectPath, true, statusPort, commandPort));
    window.show();
    showWholeTree(window, 4201);
    // The first answers record every line as normal; the operator has seen those.
    wait(2500);
    window.on_pushButtonClearErrorStack_clicked();
    if (!breakDown())
        return false;
    wait(2500);
    // The silenced loudspeaker was last heard of long ago: it counts as lost at the next
    // tick instead of ten seconds from now.
    if (ProjectDevice *silent = window.project()->findDeviceBySerial(702))
        silent->lastSeen = QDateTime::currentDateTime().addSecs(-30);
    wait(1200);
    showWholeTree(window, 4201);
    if (!save(window, output, QStringLiteral("monitoring.png")))
        return false;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabMain"));
    if (tabs)
        tabs->setCurrentIndex(1);
    QApplication::processEvents();
    return save(window, output, QStringLiteral("journal.png"));
}

// The window's diagnostics are of no interest here; warnings still show.
void quietDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context)
    if (type != QtDebugMsg && type != QtInfoMsg)
        QTextStream(stderr) << message << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietDebug);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: norda-screenshots OUTPUT_FOLDER PROJECT.mpj\n";
        return 1;
    }
    const QString output = QDir(args.at(1)).absolutePath();
    QDir().mkpath(output);
    // The window keeps its journals in the working folder: a scratch one.
    QTemporaryDir work;
    const QString projectPath = work.filePath(QStringLiteral("demo.mpj"));
    if (!work.isValid() || !QFile::copy(args.at(2), projectPath) ||
        !QDir::setCurrent(work.path())) {
        QTextStream(stderr) << "cannot prepare a working copy of " << args.at(2) << '\n';
        return 2;
    }

    Simulator simulator;
    QString error;
    if (simulator.addProjectDevices(projectPath, &error) <= 0) {
        QTextStream(stderr) << "cannot simulate the project: " << error << '\n';
        return 2;
    }
    QTcpServer probe;
    probe.listen(simulator.devices().first()->address, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    SimStatusServer server(&simulator, port);
    SimTimeline timeline(&simulator, &server);
    if (!server.start(&error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }
    // The command side, for the settings window.
    probe.listen(simulator.devices().first()->address, 0);
    const quint16 commandPort = probe.serverPort();
    probe.close();
    SimCommandServer commands(&simulator);
    if (!commands.listen(commandPort, &error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }
    auto breakDown = [&timeline] {
        QString error;
        for (const char *step : faults) {
            if (!timeline.apply(QString::fromLatin1(step), &error)) {
                QTextStream(stderr) << step << ": " << error << '\n';
                return false;
            }
        }
        return true;
    };
    return render(output, work.path(), projectPath, port, commandPort, breakDown) ? 0 : 2;
}
