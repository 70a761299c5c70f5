// Renders the main window on the demonstration project and writes the pictures as PNG
// files: norda-screenshots OUTPUT_FOLDER PROJECT.mpj
//
// The project's devices are simulated in this process on their loopback addresses, put
// into a few faults, and polled by the window for real; the monitoring pictures show the
// fault pane of the faulty central unit, the journal with the events that followed and the
// history of faults.
// The settings windows of the IP console and of the central unit are opened with
// "Настройка" and drawn once they have read their device; the project file dialog shows
// Qt's own texts in Russian. Run it on the offscreen platform (scripts/screenshots.sh does).

#include "app/historyview.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "gui/translations.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
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
    settings.setValue(QStringLiteral("paths/projectfilespath"), QFileInfo(projectPath).path());
    settings.setValue(QStringLiteral("network/statusport"), QString::number(statusPort));
    settings.setValue(QStringLiteral("network/commandport"), QString::number(commandPort));
    settings.setValue(QStringLiteral("basedevicewindow/width"), "900");
    settings.setValue(QStringLiteral("basedevicewindow/height"), "560");
    settings.setValue(QStringLiteral("basedevicewindow/left"), "0");
    settings.setValue(QStringLiteral("basedevicewindow/top"), "0");
    settings.setValue(QStringLiteral("tovik2window/width"), "1000");
    settings.setValue(QStringLiteral("tovik2window/height"), "640");
    settings.setValue(QStringLiteral("tovik2window/left"), "0");
    settings.setValue(QStringLiteral("tovik2window/top"), "0");
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

// "Настройка" on a device: its window, once it has read the device, with `tab` of
// `tabWidget` (and `settingsTab` of "tabWidgetSettings" when given) shown.
bool renderDeviceWindow(MainWindow &window, const QString &output, int serial, const QString &name,
                        int tab, int settingsTab, const QString &file)
{
    window.treeView()->selectNode(window.project()->findDeviceBySerial(serial));
    auto *setup = window.findChild<QPushButton *>(QStringLiteral("pushButtonOpenSetupDevice"));
    if (!setup || !setup->isEnabled()) {
        QTextStream(stderr) << "the " << name << "'s settings window cannot be opened\n";
        return false;
    }
    setup->click();
    QWidget *device = QApplication::activeModalWidget();
    if (!device) {
        QTextStream(stderr) << "the " << name << "'s settings window did not open\n";
        return false;
    }
    wait(2500);
    if (auto *tabs = device->findChild<QTabWidget *>(QStringLiteral("tabWidget")))
        tabs->setCurrentIndex(tab);
    if (auto *tabs = device->findChild<QTabWidget *>(QStringLiteral("tabWidgetSettings")))
        tabs->setCurrentIndex(qMax(settingsTab, 0));
    QApplication::processEvents();
    const bool saved = save(*device, output, file);
    device->close();
    QApplication::processEvents();
    return saved;
}

// "Открыть проект...": the file dialog in Russian, Qt's own texts included.
bool renderFileDialog(MainWindow &window, const QString &output)
{
    bool saved = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        // The folder is listed by a thread of the dialog's model.
        wait(1500);
        saved = save(*dialog, output, QStringLiteral("russian-buttons.png"));
        dialog->reject();
    });
    poll.start();
    window.on_menuOpenClicked();
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
        if (!renderDeviceWindow(window, output, 4301, QStringLiteral("IP console"), 1, -1,
                                QStringLiteral("ipconsole.png")))
            return false;
        // The central unit on its bus: "Сеть приборов".
        if (!renderDeviceWindow(window, output, 4201, QStringLiteral("central unit"), 0, 1,
                                QStringLiteral("centralunit.png")))
            return false;
        if (!renderFileDialog(window, output))
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
    if (!save(window, output, QStringLiteral("journal.png")))
        return false;
    // The history: every record, the acknowledged ones included, here the faults only.
    if (HistoryView *history = window.historyView()) {
        tabs->setCurrentWidget(history);
        if (auto *kinds = history->findChild<QComboBox *>(QStringLiteral("comboBoxKind")))
            kinds->setCurrentIndex(kinds->findText(QStringLiteral("Неисправности")));
        QApplication::processEvents();
    }
    return save(window, output, QStringLiteral("history.png"));
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
    Translations::install(&app);
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
    // The central unit has a firmware build with its name and MAC address, a console and an
    // extension unit on its bus.
    if (SimDevice *unit = simulator.deviceBySerial(4201)) {
        unit->version = QStringLiteral("1.2.620");
        unit->descriptors.insert(QStringLiteral("Rs485GlobalEnable"), QStringLiteral("вкл"));
        unit->descriptors.insert(QStringLiteral("Rs485PultEnable[4]"), QStringLiteral("да"));
        unit->descriptors.insert(QStringLiteral("Rs485PultSerial[4]"), QStringLiteral("4401"));
        unit->descriptors.insert(QStringLiteral("Rs485PultStatus[4]"), QStringLiteral("1"));
        unit->descriptors.insert(QStringLiteral("ExtBlockRs485Enable[0]"), QStringLiteral("да"));
        unit->descriptors.insert(QStringLiteral("ExtBlockRs485Serial[0]"), QStringLiteral("4101"));
        unit->descriptors.insert(QStringLiteral("ExtBlockRs485Status[0]"), QStringLiteral("1"));
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
