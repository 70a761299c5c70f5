// Opening and saving a large project: builds a project of many devices in groups (central
// units with an extension unit and RS-485 consoles, four-line units, loudspeakers, IP
// consoles whose buttons are linked to the unit's lines, media converters; every Ethernet
// address a loopback one), saves it, and prints the median and the longest of several runs
// of
//   - loading the file into a ProjectModel,
//   - saving it the way the console does (ProjectModel::save: the whole document, written
//     through a temporary file that replaces the old one),
// and, in builds with the desktop program, in the main window in configuration and in
// monitoring mode:
//   - "Открыть проект": from the moment the file dialog is accepted until the call returned
//     and the tree has been painted (offscreen platform when there is no display),
//   - "Сохранить проект".
//
//   bench_project [--devices 10000] [--groups 100] [--runs 5]
//                 [--window both|configuration|monitoring|none]

#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectlint.h"
#include "project/projectmodel.h"

#ifdef NORDA_BENCH_GUI
#include "app/mainwindow.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#else
#include <QCoreApplication>
#endif

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// 127.3.0.2 upwards, 250 addresses per third byte.
QString address(int i)
{
    return QStringLiteral("127.3.%1.%2").arg(i / 250).arg(2 + i % 250);
}

// Every group of 100: a central unit with an extension unit and two consoles on its bus,
// two four-line units, 80 loudspeakers, 8 IP consoles and 6 media converters. Larger
// groups repeat the loudspeakers.
int typeAt(int position)
{
    if (position == 0)
        return DeviceType::Norda4200;
    if (position == 1)
        return DeviceType::Norda410x;
    if (position <= 3)
        return DeviceType::BexarTovik2;
    if (position <= 5)
        return DeviceType::Lumo4;
    if (position >= 86 && position <= 93)
        return DeviceType::IpPult;
    if (position >= 94 && position <= 99)
        return DeviceType::Media;
    return DeviceType::Horn;
}

// Links the first four buttons of a console to lines of the group's central unit.
void linkButtons(ProjectDevice *console, const ProjectDevice *unit)
{
    int k = 0;
    for (InOut *io : console->inouts) {
        if (io->type != InOutType::Button || k >= 4)
            continue;
        io->outlinks.append(OutLink {unit->id_obj, {1 + 2 * k, 2 + 2 * k}});
        ++k;
    }
}

void buildProject(ProjectModel *model, int devices, int groups)
{
    model->name = QStringLiteral("Город");
    const int perGroup = (devices + groups - 1) / groups;
    int serial = 300000;
    int ip = 0;
    for (int g = 0, made = 0; g < groups && made < devices; ++g) {
        ProjectGroup *group = model->addGroup();
        group->name = QStringLiteral("Корпус %1").arg(g + 1);
        ProjectDevice *unit = nullptr;
        int consoleAddress = 0;
        for (int p = 0; p < perGroup && made < devices; ++p, ++made) {
            auto *device = new ProjectDevice(typeAt(p));
            device->serial = quint32(++serial);
            device->tag = QStringLiteral("Корпус %1, помещение %2").arg(g + 1).arg(p + 1);
            switch (device->type) {
            case DeviceType::Norda4200:
                device->rs485_enabled = true;
                device->rs485_addr = 0;
                break;
            case DeviceType::Norda410x:
                device->rs485_enabled = true;
                device->rs485_addr = 1;
                break;
            case DeviceType::BexarTovik2:
                device->rs485_enabled = true;
                device->rs485_addr = uint8_t(++consoleAddress);
                device->keys_count = 16;
                break;
            case DeviceType::IpPult:
                device->keys_count = 8;
                break;
            default:
                break;
            }
            if (device->type != DeviceType::Norda410x && device->type != DeviceType::BexarTovik2) {
                device->ip_enabled = true;
                device->ip_addr = address(ip++);
            }
            device->fillTemplate();
            model->addDevice(group, device);
            if (device->type == DeviceType::Norda4200)
                unit = device;
            else if (unit && isConsoleType(device->type))
                linkButtons(device, unit);
        }
    }
    model->modified = false;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

QString figures(const std::vector<double> &ms)
{
    QStringList each;
    for (double value : ms)
        each << QString::number(value, 'f', 0);
    return QStringLiteral("median %1 ms, max %2 ms  (%3)")
        .arg(median(ms), 0, 'f', 0)
        .arg(ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()), 0, 'f', 0)
        .arg(each.join(QStringLiteral(", ")));
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

#ifdef NORDA_BENCH_GUI

// Fills the next project file dialog with `path` and accepts it as a user would; `clock`
// starts at that moment.
void acceptNextFileDialog(const QString &path, QElapsedTimer *clock)
{
    auto *timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, path, clock] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        else
            dialog->selectFile(path);
        clock->start();
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    timer->start();
}

// Counts the paintings of a widget.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

// Opens `path` with "Открыть проект" and saves it with "Сохранить проект" `runs` times in
// a window of the given mode; prints the figures. False when the project did not open.
bool benchWindow(bool monitoring, const QString &folder, const QString &path, int runs, int devices,
                 QTextStream &out)
{
    const QString settingsPath = QDir(folder).filePath(
        monitoring ? QStringLiteral("monitor.ini") : QStringLiteral("configure.ini"));
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("application/rivar"), monitoring ? "1" : "0");
        settings.setValue(QStringLiteral("paths/projectfilespath"), folder);
        settings.setValue(QStringLiteral("mainwindow/width"), "1280");
        settings.setValue(QStringLiteral("mainwindow/height"), "800");
        // Nobody answers on this port: the polls that go out fail at once.
        settings.setValue(QStringLiteral("network/statusport"), "9");
    }
    MainWindow window(settingsPath);
    // The status polling of the open project is not what is measured here.
    window.setTickInterval(3600 * 1000);
    window.show();
    QApplication::processEvents();
    PaintCounter painted;
    window.treeView()->viewport()->installEventFilter(&painted);
    auto *open = window.findChild<QAction *>(QStringLiteral("actionOpenProject"));
    auto *save = window.findChild<QAction *>(QStringLiteral("actionSaveProject"));
    if (!open || !save)
        return false;

    std::vector<double> opened;
    std::vector<double> saved;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        acceptNextFileDialog(path, &clock);
        const int paintsBefore = painted.count;
        open->trigger();
        // The tree is shown once its viewport has been painted after the load.
        QElapsedTimer deadline;
        deadline.start();
        while (painted.count == paintsBefore && deadline.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        opened.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (window.project()->allDevices().size() != devices || painted.count == paintsBefore) {
            out << "the project did not open in the window" << Qt::endl;
            return false;
        }
        saved.push_back(timed([&] { save->trigger(); }));
        if (window.project()->modified || window.project()->path != path)
            return false;
        // Whatever the save left for the event loop.
        QApplication::processEvents();
    }
    const QString mode =
        monitoring ? QStringLiteral("monitoring   ") : QStringLiteral("configuration");
    out << "window, " << mode << QStringLiteral(" \"Открыть проект\" until the tree is painted: ")
        << figures(opened) << Qt::endl;
    out << "window, " << mode << QStringLiteral(" \"Сохранить проект\":                          ")
        << figures(saved) << Qt::endl;
    out << "  top-level rows " << window.treeModel()->rowCount() << Qt::endl;
    return true;
}

#endif

} // namespace

int main(int argc, char *argv[])
{
#ifdef NORDA_BENCH_GUI
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's diagnostics are not part of the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg &&
            !text.contains(QLatin1String("propagateSizeHints")))
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Devices of the project.", "N", "10000");
    const QCommandLineOption groupsOption("groups", "Groups they are spread over.", "G", "100");
    const QCommandLineOption runsOption("runs", "Runs of each measurement.", "R", "5");
    const QCommandLineOption windowOption(
        "window", "Window modes to measure: both, configuration, monitoring or none.", "MODE",
        "both");
    parser.addOptions({devicesOption, groupsOption, runsOption, windowOption});
    parser.process(app);
    const int devices = qMax(1, parser.value(devicesOption).toInt());
    const int groups = qMax(1, parser.value(groupsOption).toInt());
    const int runs = qMax(1, parser.value(runsOption).toInt());
    QTextStream out(stdout);

    // The journals of the window's projects go into the run's folder.
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        out << "no folder for the run" << Qt::endl;
        return 1;
    }
    const QString path = QDir(dir.path()).absoluteFilePath(QStringLiteral("city.mpj"));
    {
        ProjectModel model(ProjectModel::Journals::None);
        buildProject(&model, devices, groups);
        if (model.save(path) != 0) {
            out << "cannot write " << path << Qt::endl;
            return 1;
        }
        const QList<ProjectLint::Finding> findings = ProjectLint::check(model);
        int channels = 0;
        for (const ProjectDevice *device : model.allDevices())
            channels += device->inouts.size();
        out << "project: " << model.allDevices().size() << " devices in "
            << model.allGroups().size() << " groups, " << channels << " inputs and outputs, "
            << QFileInfo(path).size() / 1024
            << " KiB; check: " << (ProjectLint::hasErrors(findings) ? "errors" : "no errors")
            << ", " << findings.size() << " findings" << Qt::endl;
    }

    std::vector<double> loaded;
    std::vector<double> saved;
    const QString copy = QDir(dir.path()).absoluteFilePath(QStringLiteral("copy.mpj"));
    for (int run = 0; run < runs; ++run) {
        ProjectModel model(ProjectModel::Journals::None);
        int result = -1;
        loaded.push_back(timed([&] { result = model.load(path); }));
        if (result != 0 || model.allDevices().size() != devices) {
            out << "the project did not load" << Qt::endl;
            return 1;
        }
        // The first save makes the file; the others replace it.
        saved.push_back(timed([&] { result = model.save(copy); }));
        if (result != 0) {
            out << "the project was not saved" << Qt::endl;
            return 1;
        }
    }
    out << "ProjectModel::load:  " << figures(loaded) << Qt::endl;
    out << "ProjectModel::save:  " << figures(saved) << Qt::endl;

#ifdef NORDA_BENCH_GUI
    const QString modes = parser.value(windowOption);
    for (const bool monitoring : {false, true}) {
        if (modes != QLatin1String("both") &&
            modes != (monitoring ? QLatin1String("monitoring") : QLatin1String("configuration")))
            continue;
        if (!benchWindow(monitoring, dir.path(), path, runs, devices, out))
            return 1;
    }
#endif
    return 0;
}
