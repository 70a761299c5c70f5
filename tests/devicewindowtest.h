#pragma once

// Helpers of the device window tests: the device windows opened for devices of the
// in-process simulator, the message boxes they show (recorded and answered), the requests
// the simulated device received, and a check that no form connects a slot by name.

#include "devices/audiodevicewindow.h"
#include "devices/devicewindowfactories.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "simharness.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace DeviceWindowTest {

// Records every message box that is shown and answers it: with the button of `answer`
// when the box has one (a confirmation), otherwise with its escape or only button.
class BoxWatcher : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QStringList buttons;
    };

    BoxWatcher() { qApp->installEventFilter(this); }
    ~BoxWatcher() override { qApp->removeEventFilter(this); }

    bool waitFor(int count, int ms = 10000)
    {
        return QTest::qWaitFor([&] { return boxes.size() >= count; }, ms);
    }
    QStringList texts() const
    {
        QStringList list;
        for (const Box &box : boxes)
            list << box.title + QLatin1String(": ") + box.text;
        return list;
    }

    QString answer;
    QList<Box> boxes;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        auto *box = qobject_cast<QMessageBox *>(object);
        if (!box || seen.contains(box))
            return false;
        seen.append(box);
        Box record {box->windowTitle(), box->text(), box->icon(), {}};
        for (QAbstractButton *button : box->buttons())
            record.buttons << button->text();
        boxes.append(record);
        const QString chosen = answer;
        QPointer<QMessageBox> guarded(box);
        QTimer::singleShot(0, box, [guarded, chosen] {
            if (!guarded)
                return;
            for (QAbstractButton *button : guarded->buttons()) {
                if (button->text() == chosen) {
                    button->click();
                    return;
                }
            }
            if (QAbstractButton *escape = guarded->escapeButton())
                escape->click();
            else if (!guarded->buttons().isEmpty())
                guarded->buttons().first()->click();
            else
                guarded->reject();
        });
        return false;
    }

private:
    QList<QPointer<QMessageBox>> seen;
};

// Fails a test that saw a form's slot connected by name, or tried to: the windows connect
// their reactions themselves.
inline QStringList &connectByNameWarnings()
{
    static QStringList warnings;
    return warnings;
}

inline void watchConnectByName(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("QMetaObject::connectSlotsByName")) ||
        message.contains(QLatin1String("No matching signal for")))
        connectByNameWarnings() << message;
    if (type == QtFatalMsg)
        abort();
    // The offscreen platform's note on every window is of no interest.
    if (type != QtDebugMsg && type != QtInfoMsg &&
        !message.contains(QLatin1String("propagateSizeHints")))
        fprintf(stderr, "%s\n", qPrintable(message));
}

// The requests a device received, without the periodic status requests.
inline QStringList withoutStatus(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line != QLatin1String("GET STATUS"))
            lines << line;
    }
    return lines;
}

inline QStringList linesStartingWith(const QStringList &log, const QString &prefix)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line.startsWith(prefix))
            lines << line;
    }
    return lines;
}

// The requests of a read of these descriptors (names without their prefix), in order.
inline QStringList reads(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines << QStringLiteral("GET DESCRIPTOR desc_") + name;
    return lines;
}

// The requests that write descriptors ("Name value" each), in order.
inline QStringList setRequests(const QStringList &assignments)
{
    QStringList lines;
    for (const QString &assignment : assignments)
        lines << QStringLiteral("SET DESCRIPTOR desc_") + assignment;
    return lines;
}

// The audio folder and config.ini read, as after every connection and file command.
const QStringList configReads = {"GET FILE_LIST 0:\\audio", "SET FILE_OPEN 0:\\config.ini",
                                 "GET FILE_READ 512", "GET FILE_READ 512", "SET FILE_CLOSE"};

// What a window asks on every connection: its read-all list between the version and the
// folder.
inline QStringList connectionReads(const QStringList &names)
{
    return QStringList {"GET VERSION", "SET FILE_RESET"} + reads(names) + configReads;
}

const char okText[] = "Запись выполнена: Параметры записаны.";

// Fills a window's fields ("objectName=text"; "=#N" chooses item N of a combo box, "#-1"
// none; "frameName=1" ticks the bus row of that name).
inline void fill(QWidget *window, const QStringList &fields)
{
    for (const QString &assignment : fields) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        QWidget *field = window->findChild<QWidget *>(name);
        QVERIFY2(field, qPrintable(name));
        if (name.startsWith(QLatin1String("frame")))
            field = field->findChild<QCheckBox *>(QStringLiteral("checkBoxPultEnable"));
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setText(value);
        else if (auto *box = qobject_cast<QComboBox *>(field))
            box->setCurrentIndex(value.mid(1).toInt());
        else if (auto *spin = qobject_cast<QSpinBox *>(field))
            spin->setValue(value.toInt());
        else if (auto *check = qobject_cast<QCheckBox *>(field))
            check->setChecked(value == QLatin1String("1"));
        else if (auto *time = qobject_cast<QDateTimeEdit *>(field))
            time->setDateTime(QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
}

template<typename T = QWidget> T *widget(const QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no widget %s", name);
    return found;
}

// One simulated device, a project holding it, and its settings window.
struct Rig {
    SimDevice *sim = nullptr;
    std::unique_ptr<ProjectModel> project;
    ProjectDevice *device = nullptr;
    QPointer<AudioDeviceWindow> window;

    ~Rig() { delete window.data(); }
};

// The window kinds of the three audio devices.
inline DeviceWindowRegistry::Kind kindOf(int type)
{
    DeviceWindowRegistry::Kind kind = DeviceWindowRegistry::Kind::Loudspeaker;
    DeviceWindowRegistry::kindForType(type, &kind);
    return kind;
}

// Opens the window of a new simulated device at `address` (serial `serial`); the worker's
// request deadline and link check are shortened. The window is shown, as the main window
// shows it, and deleted when closed.
inline std::unique_ptr<Rig> openRig(SimHarness *harness, QSettings *settings, int type, int serial,
                                    const QString &address, int pollMs = 1000,
                                    const std::function<void(SimDevice *)> &before = nullptr)
{
    auto rig = std::make_unique<Rig>();
    rig->sim = harness->addDevice(type, serial, address);
    if (before)
        before(rig->sim);
    rig->project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
    rig->device = new ProjectDevice(type, quint32(serial), QString(), false, 0, true, address,
                                    type == DeviceType::IpPult ? 8 : -1);
    rig->project->addDevice(nullptr, rig->device);
    rig->project->modified = false;
    DeviceWindowContext context;
    context.settings = settings;
    context.project = rig->project.get();
    context.ports.commandPort = harness->tcpPort(rig->sim);
    QWidget *opened = DeviceWindowFactories::factory(kindOf(type))(rig->device, context);
    rig->window = qobject_cast<AudioDeviceWindow *>(opened);
    if (!rig->window)
        return rig;
    rig->window->setAttribute(Qt::WA_DeleteOnClose);
    rig->window->setPollInterval(pollMs);
    if (CdcUsbProcess *worker = rig->window->facade()->worker())
        worker->setTimings(3000, 100);
    rig->window->show();
    return rig;
}

// The device has been read completely since `from` requests into its log: the download of
// the configuration file has ended and the window has taken it.
inline bool waitReadAll(SimHarness *harness, Rig *rig, int from = 0, int ms = 10000)
{
    return QTest::qWaitFor(
        [&] {
            if (!rig->window || !rig->window->isIdentified())
                return false;
            const QStringList log = withoutStatus(harness->requestLog(rig->sim).mid(from));
            return log.contains(QStringLiteral("SET FILE_CLOSE")) &&
                log.last() == QLatin1String("SET FILE_CLOSE") &&
                !rig->window->facade()->isFileTransferPending() &&
                rig->window->facade()->readListSize() == 0;
        },
        ms);
}

// One exchange through the window's facade, answered after everything queued before it:
// whatever the window does with the answers before has been done when this returns true.
inline bool roundTrip(AudioDeviceWindow *window)
{
    QSignalSpy answers(window->facade(), &Amodule::receivedDescriptor);
    if (window->facade()->getDescriptor(QStringLiteral("desc_SerialNumber")) != Amodule::Queued)
        return false;
    return QTest::qWaitFor(
        [&] {
            for (const QList<QVariant> &answer : answers) {
                if (answer.value(0).toString() == QLatin1String("SerialNumber"))
                    return true;
            }
            return false;
        },
        10000);
}

} // namespace DeviceWindowTest
