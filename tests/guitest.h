#pragma once

// Helpers of the window and dialog tests: driving modal widgets that a slot runs with
// exec(), and building small projects and the settings of a main window. Every enabled device
// address is a loopback one.

#include "gui/translations.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace GuiTest {

// Child widgets by object name.
template<typename T = QWidget> T *child(const QObject *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qWarning("no widget %s", name);
    return widget;
}

inline bool shown(const QObject *parent, const char *name)
{
    QWidget *widget = child(parent, name);
    return widget && !widget->isHidden();
}

inline bool enabled(const QObject *parent, const char *name)
{
    QWidget *widget = child(parent, name);
    return widget && widget->isEnabled();
}

// Chooses the item of a combo box with this text, or with this item data.
inline void choose(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("no item %1").arg(text)));
    box->setCurrentIndex(index);
}

inline void chooseData(QComboBox *box, int value)
{
    const int index = box->findData(value);
    QVERIFY2(index >= 0, qPrintable(QStringLiteral("no item with data %1").arg(value)));
    box->setCurrentIndex(index);
}

// How long a test waits for a modal widget to appear.
constexpr int modalTimeoutMs = 30000;

// Watches for the next visible modal widget of type T and hands it to action once. The
// returned flag becomes true when the action ran; the test asserts it after the call
// that opened the widget returned. If no such widget appears in time, the watch ends and
// the flag stays false.
// The watches still waiting; a test's cleanup ends them so that none outlives its test.
inline QList<QPointer<QTimer>> &pendingWatches()
{
    static QList<QPointer<QTimer>> watches;
    return watches;
}

inline void endPendingWatches()
{
    for (const QPointer<QTimer> &timer : pendingWatches()) {
        if (timer) {
            timer->stop();
            timer->deleteLater();
        }
    }
    pendingWatches().clear();
}

template<typename T> std::shared_ptr<bool> onNextModal(std::function<void(T *)> action)
{
    auto handled = std::make_shared<bool>(false);
    auto *timer = new QTimer;
    pendingWatches().append(timer);
    timer->setInterval(5);
    const QDeadlineTimer deadline(modalTimeoutMs);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action, handled]() {
        auto *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        if (widget && widget->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *handled = true;
            action(widget);
            return;
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
    return handled;
}

struct FileDialogSeen {
    QString title;
    QString directory;
    QStringList filters;
    QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    bool native = true;
};

inline void noteFileDialog(QFileDialog *dialog, const std::shared_ptr<FileDialogSeen> &seen)
{
    if (!seen)
        return;
    seen->title = dialog->windowTitle();
    seen->directory = dialog->directory().absolutePath();
    seen->filters = dialog->nameFilters();
    seen->fileMode = dialog->fileMode();
    seen->acceptMode = dialog->acceptMode();
    seen->native = !dialog->testOption(QFileDialog::DontUseNativeDialog);
}

// Fills the next file dialog with a path and accepts it.
inline std::shared_ptr<bool> acceptFileDialog(const QString &path,
                                              std::shared_ptr<FileDialogSeen> seen = nullptr)
{
    return onNextModal<QFileDialog>([path, seen](QFileDialog *dialog) {
        noteFileDialog(dialog, seen);
        // Typed into the file name field, as a user would.
        if (auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit"))
            edit->setText(path);
        else
            dialog->selectFile(path);
        // The same as pressing "Open"/"Save": the dialog checks the choice and closes.
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
}

inline std::shared_ptr<bool> cancelFileDialog(std::shared_ptr<FileDialogSeen> seen = nullptr)
{
    return onNextModal<QFileDialog>([seen](QFileDialog *dialog) {
        noteFileDialog(dialog, seen);
        dialog->reject();
    });
}

struct BoxSeen {
    QString title;
    QString text;
    QStringList buttons;
    // The text of the button Enter presses.
    QString defaultButton;
};

inline void noteBox(QMessageBox *box, const std::shared_ptr<BoxSeen> &seen)
{
    if (!seen)
        return;
    seen->title = box->windowTitle();
    seen->text = box->text();
    for (QAbstractButton *button : box->buttons())
        seen->buttons << button->text();
    if (box->defaultButton())
        seen->defaultButton = box->defaultButton()->text();
}

// Answers the next message box by clicking the button with the given text, or its
// escape button when the text is empty; what the box showed is kept in seen.
inline std::shared_ptr<bool> answerMessageBox(const QString &buttonText,
                                              std::shared_ptr<BoxSeen> seen = nullptr)
{
    return onNextModal<QMessageBox>([buttonText, seen](QMessageBox *box) {
        noteBox(box, seen);
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == buttonText) {
                button->click();
                return;
            }
        }
        box->reject();
    });
}

// Answers the next message box with one of its standard buttons.
inline std::shared_ptr<bool> answerMessageBox(QMessageBox::StandardButton which,
                                              std::shared_ptr<BoxSeen> seen = nullptr)
{
    return onNextModal<QMessageBox>([which, seen](QMessageBox *box) {
        noteBox(box, seen);
        if (QAbstractButton *button = box->button(which))
            button->click();
        else
            box->reject();
    });
}

// Every index of a model, depth first.
inline QModelIndexList allIndexes(const QAbstractItemModel *model, const QModelIndex &parent = {})
{
    QModelIndexList list;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        list << index << allIndexes(model, index);
    }
    return list;
}

// Writes the settings file of a main window into `folder` and returns its path: the mode,
// the project the window reopens (saved there as "project.mpj", when given) and more keys.
inline QString windowSettings(const QString &folder, bool monitoring, ProjectModel *project,
                              const QMap<QString, QString> &values = {})
{
    const QString path = folder + QStringLiteral("/settings.ini");
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(QStringLiteral("application/rivar"), monitoring ? "1" : "0");
    if (project) {
        const QString projectPath = folder + QStringLiteral("/project.mpj");
        if (project->save(projectPath) != 0)
            qWarning("project not written");
        settings.setValue(QStringLiteral("paths/lastproject"), projectPath);
    }
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    return path;
}

inline ProjectDevice *makeDevice(int type, quint32 serial, bool rs485 = false, int busAddress = 0,
                                 const QString &ip = QString(), int keys = -1)
{
    return new ProjectDevice(type, serial, QString(), rs485, uint8_t(busAddress), !ip.isEmpty(), ip,
                             keys);
}

inline ProjectGroup *namedGroup(ProjectModel *project, const QString &name,
                                ProjectGroup *parent = nullptr)
{
    ProjectGroup *group = project->addGroup(parent);
    group->name = name;
    return group;
}

// A small project: group "A" with a central unit (serial 100, 127.0.0.2), an extension
// unit (101, bus address 3) and a console of type 6 (102, 8 buttons); subgroup "A1" of A
// with a loudspeaker (103, 127.0.0.3); group "B" with a console of type 8 (104,
// 127.0.0.4); a top-level media converter (105).
inline void fillSample(ProjectModel *project)
{
    ProjectGroup *a = namedGroup(project, "A");
    project->addDevice(a, makeDevice(DeviceType::Norda4200, 100, true, 0, "127.0.0.2"));
    project->addDevice(a, makeDevice(DeviceType::Norda410x, 101, true, 3));
    project->addDevice(a, makeDevice(DeviceType::BexarTovik2, 102, true, 1, QString(), 8));
    ProjectGroup *a1 = namedGroup(project, "A1", a);
    project->addDevice(a1, makeDevice(DeviceType::Horn, 103, false, 0, "127.0.0.3"));
    ProjectGroup *b = namedGroup(project, "B");
    project->addDevice(b, makeDevice(DeviceType::IpPult, 104, false, 0, "127.0.0.4", 8));
    project->addDevice(nullptr, makeDevice(DeviceType::Media, 105));
}

} // namespace GuiTest

// The main() of a window test: the application as the program's entry makes it, with Qt's own
// texts in Russian.
#define NORDA_GUI_TEST_MAIN(TestObject)                                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        Translations::install(&app);                                                               \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
