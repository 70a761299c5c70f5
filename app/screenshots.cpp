// Renders the main window in configuration and monitoring mode on a sample project and
// writes the pictures as PNG files: norda-screenshots OUTPUT_FOLDER.
// Run it on the offscreen platform (scripts/screenshots.sh does).

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

ProjectDevice *device(int type, int serial, const QString &tag, bool rs485, int busAddress,
                      const QString &ip, int keys = -1)
{
    // Every address of the sample is a loopback one: nothing on a real network is asked.
    return new ProjectDevice(type, serial, tag, rs485, uint8_t(busAddress), !ip.isEmpty(), ip,
                             keys);
}

bool writeSampleProject(const QString &path)
{
    ProjectModel project;
    project.name = QStringLiteral("Пример");
    ProjectGroup *building = project.addGroup(nullptr);
    building->name = QStringLiteral("Корпус 1");
    ProjectDevice *central = device(DeviceType::Norda4200, 1201, QStringLiteral("Диспетчерская"),
                                    true, 0, QStringLiteral("127.0.0.2"));
    project.addDevice(building, central);
    central->inouts.at(0)->name = QStringLiteral("Холл");
    central->inouts.at(1)->name = QStringLiteral("Лестница");
    ProjectDevice *extension = device(DeviceType::Norda410x, 1202, QString(), true, 1, QString());
    project.addDevice(building, extension);
    ProjectDevice *console = device(DeviceType::BexarTovik2, 4401, QStringLiteral("Пост охраны"),
                                    true, 5, QString(), 16);
    project.addDevice(building, console);
    InOut *firstKey = console->inouts.at(0);
    firstKey->name = QStringLiteral("Все этажи");
    firstKey->outlinks.append(OutLink {central->id_obj, {1, 2}});

    ProjectGroup *second = project.addGroup(nullptr);
    second->name = QStringLiteral("Корпус 2");
    project.addDevice(second,
                      device(DeviceType::Horn, 701, QStringLiteral("Проходная"), false, 0,
                             QStringLiteral("127.0.0.3")));
    project.addDevice(
        second,
        device(DeviceType::IpPult, 4301, QString(), false, 0, QStringLiteral("127.0.0.4"), 8));
    ProjectGroup *floor = project.addGroup(second);
    floor->name = QStringLiteral("Этаж 2");
    project.addDevice(
        floor, device(DeviceType::Lumo4, 521, QString(), false, 0, QStringLiteral("127.0.0.5")));
    project.addDevice(
        floor, device(DeviceType::Media, 901, QString(), false, 0, QStringLiteral("127.0.0.6")));
    return project.save(path) == 0;
}

bool render(const QString &folder, const QString &projectPath, bool monitoring,
            const QString &fileName)
{
    const QString settingsPath = folder + QStringLiteral("/settings-") + fileName + ".ini";
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("application/rivar"), monitoring ? "1" : "0");
        settings.setValue(QStringLiteral("mainwindow/width"), "1000");
        settings.setValue(QStringLiteral("mainwindow/height"), "640");
        settings.setValue(QStringLiteral("mainwindow/left"), "0");
        settings.setValue(QStringLiteral("mainwindow/top"), "0");
        settings.setValue(QStringLiteral("paths/lastproject"), projectPath);
    }
    MainWindow window(settingsPath);
    window.show();
    // A few devices have answered, so that both lamp colours can be seen.
    const QList<ProjectDevice *> devices = window.project()->allDevices();
    for (ProjectDevice *each : devices) {
        if (each->serial == 1201 || each->serial == 701)
            each->netFound = true;
    }
    for (ProjectGroup *group : window.project()->allGroups())
        window.treeView()->expandNode(group);
    window.treeView()->selectNode(window.project()->findDeviceBySerial(1201));
    QApplication::processEvents();
    return window.grab().save(QDir(folder).filePath(fileName + QStringLiteral(".png")));
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
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: norda-screenshots OUTPUT_FOLDER\n";
        return 1;
    }
    const QString folder = QDir(args.at(1)).absolutePath();
    QDir().mkpath(folder);
    QTemporaryDir work;
    const QString projectPath = work.filePath(QStringLiteral("sample.mpj"));
    if (!work.isValid() || !writeSampleProject(projectPath)) {
        QTextStream(stderr) << "cannot write the sample project\n";
        return 2;
    }
    // The settings files are working files of the renderer, not pictures.
    const bool ok = render(work.path(), projectPath, false, QStringLiteral("configuration")) &&
        render(work.path(), projectPath, true, QStringLiteral("monitoring"));
    if (!ok)
        return 2;
    for (const QString &name :
         {QStringLiteral("configuration.png"), QStringLiteral("monitoring.png")}) {
        const QString output = QDir(folder).filePath(name);
        QFile::remove(output);
        if (!QFile::copy(work.filePath(name), output)) {
            QTextStream(stderr) << "cannot write " << output << '\n';
            return 2;
        }
        QTextStream(stdout) << "wrote " << output << '\n';
    }
    return 0;
}
