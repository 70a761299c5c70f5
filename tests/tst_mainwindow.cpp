// The main window's start-up, settings, geometry, project file commands and the
// question about unsaved changes, driven through the real window and dialogs.

#include "guitest.h"
#include "testutil.h"

#include "app/mainwindow.h"
#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"

#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace GuiTest;
using TestUtil::readFile;

namespace {

QStringList tabTitles(MainWindow *window)
{
    auto *tabs = window->findChild<QTabWidget *>("tabMain");
    QStringList titles;
    for (int i = 0; tabs && i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    return titles;
}

// A setting as the window holds it now.
QString setting(const std::unique_ptr<MainWindow> &window, const char *key)
{
    return window->settings()->value(key).toString();
}

struct QuitRow {
    const char *name;
    bool modified;
    const char *saveTo; // "" never saved, "ok" a writable file, "bad" not
    const char *answer;
    const char *fileDialog; // what the save dialog does, if it appears
    bool closes, saved;
    bool exitCommand; // through "Выход" rather than the window's close button
};

} // namespace

Q_DECLARE_METATYPE(QuitRow)

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        endPendingWatches();
        m_dir.reset();
    }

    void startup_data()
    {
        QTest::addColumn<QString>("rivar");
        QTest::addColumn<bool>("monitoring");

        QTest::newRow("no settings file") << QString() << false;
        QTest::newRow("rivar 0") << "0" << false;
        QTest::newRow("rivar not a number") << "yes" << false;
        QTest::newRow("rivar 1") << "1" << true;
        QTest::newRow("rivar 7") << "7" << true;
    }

    void startup()
    {
        QFETCH(QString, rivar);
        QFETCH(bool, monitoring);
        if (!rivar.isNull())
            writeSettings({{"application/rivar", rivar}});

        auto window = makeWindow();
        QCOMPARE(window->isMonitoring(), monitoring);
        QCOMPARE(window->project()->monitoring, monitoring);
        QCOMPARE(window->windowTitle(),
                 monitoring ? "DADAR Мониторинг NORDA-СЕТЬ (версия 1.0.1.222)[*]"
                            : "Конфигуратор NORDA-СЕТЬ (версия 1.0.1.222)[*]");
        QCOMPARE(tabTitles(window.get()),
                 monitoring ? QStringList({"Устройства", "Журнал", "История"})
                            : QStringList({"Устройства", "Сценарии"}));
        QCOMPARE(child<QTabWidget>(window.get(), "tabMain")->currentIndex(), 0);

        QWidget *w = window.get();
        QCOMPARE(child<QRadioButton>(w, "radioButtonEdit")->isChecked(), !monitoring);
        QCOMPARE(child<QRadioButton>(w, "radioButtonRun")->isChecked(), monitoring);
        QVERIFY(shown(w, "labelAllDevices"));
        QCOMPARE(child<QLabel>(w, "labelAllDevices")->text(), "Всего устройств: 0");
        for (const char *name : {"groupBoxModeSwitch", "pushButtonProjectSearch",
                                 "labelNoConnDevices", "labelMalfDevices", "labelTamperDevices"})
            QVERIFY2(shown(w, name) == monitoring, name);
        // The searches belong to the editing state, and so do the editing buttons; with
        // nothing selected yet, those for a selected node are off.
        for (const char *name : {"pushButtonSearchDevices", "pushButton"})
            QVERIFY2(shown(w, name) != monitoring && enabled(w, name) != monitoring, name);
        for (const char *name : {"pushButtonAddGroup", "pushButtonAddDevice"})
            QVERIFY2(enabled(w, name) != monitoring, name);
        for (const char *name : {"pushButtonDeviceParameters", "pushButtonOpenSetupDevice",
                                 "pushButtonRemoveDevice", "pushButtonProjectSearch"})
            QVERIFY2(!enabled(w, name), name);

        QCOMPARE(window->treeModel()->isEditing(), !monitoring);
        QCOMPARE(window->treeView()->projectDelegate()->isPolling(), monitoring);
        auto *splitter = child<QSplitter>(window.get(), "splitterDevices");
        QCOMPARE(splitter != nullptr, monitoring);
        if (splitter) {
            QCOMPARE(splitter->count(), 2);
            QCOMPARE(splitter->widget(0), window->treeView());
        }
        QVERIFY(window->findChild<QAction *>("actionExit"));
    }

    void centredWithoutUsableGeometry_data()
    {
        QTest::addColumn<bool>("unusable");
        QTest::newRow("no settings file") << false;
        QTest::newRow("unusable values") << true;
    }

    void centredWithoutUsableGeometry()
    {
        QFETCH(bool, unusable);
        if (unusable)
            writeSettings({{"mainwindow/width", "wide"},
                           {"mainwindow/height", "-5"},
                           {"mainwindow/left", "100000"},
                           {"mainwindow/top", "100000"}});
        auto window = makeWindow();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(window->size(), QSize(800, 600));
        // A place on no screen falls back to the centre, so the window can be reached.
        QCOMPARE(window->pos(), QPoint(screen.width() / 2 - 400, screen.height() / 2 - 300));
        QVERIFY(!(window->windowState() & Qt::WindowMaximized));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(800, 600));
        QVERIFY(!window->isMaximized());
    }

    void reopensLastProject_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loads");

        QTest::newRow("valid project") << "a.mpj" << QByteArray() << true;
        QTest::newRow("missing file") << "missing.mpj" << QByteArray() << false;
        QTest::newRow("not json") << "bad.mpj" << QByteArray("{ nodes: oops") << false;
        QTest::newRow("json array") << "array.mpj" << QByteArray("[1, 2]") << false;
    }

    void reopensLastProject()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(bool, loads);

        QString path = m_dir->filePath(file);
        if (loads)
            path = writeSample(file);
        else if (!content.isEmpty())
            QVERIFY(TestUtil::writeFile(path, content));
        writeSettings({{"paths/lastproject", path}});

        auto window = makeWindow();
        // No message box is ever shown at start-up: a failed reopening stays silent.
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(window->windowTitle(),
                 loads ? "Конфигуратор NORDA-СЕТЬ 1.0.1.222 - " + path + "[*]"
                       : "Конфигуратор NORDA-СЕТЬ (версия 1.0.1.222)[*]");
        QCOMPARE(window->project()->allDevices().size(), loads ? 6 : 0);
        QCOMPARE(window->treeModel()->rowCount(), loads ? 3 : 0);
        QVERIFY(!window->project()->modified);
        QCOMPARE(setting(window, "paths/lastproject"), path);
    }

    void geometryWrittenAndRestored()
    {
        {
            auto window = makeWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            window->move(30, 40);
            window->resize(640, 480);
            QTRY_COMPARE(setting(window, "mainwindow/width"), "640");
            QTRY_COMPARE(setting(window, "mainwindow/left"), "30");
        }
        const QStringList stored = {settingValue("mainwindow/width"),
                                    settingValue("mainwindow/height"),
                                    settingValue("mainwindow/left"), settingValue("mainwindow/top"),
                                    settingValue("mainwindow/fullscreen")};
        QCOMPARE(stored, QStringList({"640", "480", "30", "40", "0"}));

        auto window = makeWindow();
        QCOMPARE(window->size(), QSize(640, 480));
        QCOMPARE(window->pos(), QPoint(30, 40));
        QVERIFY(!(window->windowState() & Qt::WindowMaximized));
    }

    void geometryMaximized()
    {
        writeSettings({{"mainwindow/width", "600"},
                       {"mainwindow/height", "500"},
                       {"mainwindow/left", "20"},
                       {"mainwindow/top", "10"}});
        {
            auto window = makeWindow();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            window->showMaximized();
            QTRY_VERIFY(window->isMaximized());
            QTRY_COMPARE(setting(window, "mainwindow/fullscreen"), "1");
            // The last normal geometry stays stored while maximized.
            QCOMPARE(setting(window, "mainwindow/width"), "600");
            QCOMPARE(setting(window, "mainwindow/left"), "20");
        }
        QCOMPARE(settingValue("mainwindow/fullscreen"), "1");
        QCOMPARE(settingValue("mainwindow/height"), "500");

        auto window = makeWindow();
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(window->isMaximized());
        window->showNormal();
        QTRY_VERIFY(!window->isMaximized());
        QTRY_COMPARE(window->size(), QSize(600, 500));
        QTRY_COMPARE(setting(window, "mainwindow/fullscreen"), "0");
    }

    void openProject()
    {
        const QString path = writeSample("a.mpj");
        QVERIFY(!path.isEmpty());
        writeSettings({{"paths/projectfilespath", m_dir->path()}});
        auto window = makeWindow();
        const QString titleBefore = window->windowTitle();

        auto seen = std::make_shared<FileDialogSeen>();
        auto done = acceptFileDialog(path, seen);
        window->on_menuOpenClicked();
        QVERIFY(*done);
        QCOMPARE(seen->directory, QDir(m_dir->path()).absolutePath());
        QCOMPARE(seen->fileMode, QFileDialog::ExistingFile);
        QCOMPARE(seen->acceptMode, QFileDialog::AcceptOpen);

        QCOMPARE(window->project()->allDevices().size(), 6);
        QCOMPARE(window->treeModel()->rowCount(), 3);
        QVERIFY(!window->project()->modified);
        QCOMPARE(setting(window, "paths/lastproject"), path);
        QCOMPARE(setting(window, "paths/projectfilespath"), QFileInfo(path).absolutePath());
        QCOMPARE(window->windowTitle(), titleBefore);
    }

    // Qt's own texts are Russian whatever the system's language (the tests run under
    // LC_ALL=C.UTF-8): the standard buttons of a message box, and those of the file
    // dialogs the windows show.
    void standardButtonsInRussian_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << "Да";
        QTest::newRow("No") << int(QMessageBox::No) << "Нет";
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << "Отмена";
        QTest::newRow("Close") << int(QMessageBox::Close) << "Закрыть";
        QTest::newRow("Save") << int(QMessageBox::Save) << "Сохранить";
        QTest::newRow("Open") << int(QMessageBox::Open) << "Открыть";
    }

    void standardButtonsInRussian()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        QMessageBox box(QMessageBox::Question, "Вопрос", "Текст",
                        QMessageBox::StandardButton(button));
        QVERIFY(box.button(QMessageBox::StandardButton(button)));
        QCOMPARE(box.button(QMessageBox::StandardButton(button))->text().remove('&'), text);
    }

    void fileDialogInRussian_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("open") << false << QStringList {"Открыть", "Отмена"};
        QTest::newRow("save") << true << QStringList {"Сохранить", "Отмена"};
    }

    void fileDialogInRussian()
    {
        QFETCH(bool, save);
        QFETCH(QStringList, buttons);
        const QString path = writeSample("shown.mpj");
        QVERIFY(!path.isEmpty());
        writeSettings({{"paths/projectfilespath", m_dir->path()}});
        auto window = makeWindow();
        QStringList shown;
        QString sizeShown;
        auto done = onNextModal<QFileDialog>([&](QFileDialog *dialog) {
            for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
                if (button->isVisible())
                    shown << button->text().remove('&');
            }
            // The size of the sample in the dialog's list.
            auto *view = dialog->findChild<QTreeView *>("treeView");
            const bool listed = QTest::qWaitFor(
                [&] {
                    const QModelIndexList found = view
                        ? view->model()->match(view->model()->index(0, 0, view->rootIndex()),
                                               Qt::DisplayRole, "shown.mpj")
                        : QModelIndexList();
                    if (!found.isEmpty())
                        sizeShown = found.first().siblingAtColumn(1).data().toString();
                    return !sizeShown.isEmpty();
                },
                10000);
            Q_UNUSED(listed) // an empty size fails below
            dialog->reject();
        });
        if (save)
            window->on_menuSaveAsClicked();
        else
            window->on_menuOpenClicked();
        QVERIFY(*done);
        for (const QString &button : buttons)
            QVERIFY2(shown.contains(button), qPrintable(shown.join('|')));
        QVERIFY2(sizeShown.endsWith(" КБ") || sizeShown.endsWith(" Б"), qPrintable(sizeShown));
    }

    void openFailure_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("garbage{");
        QTest::newRow("json array") << QByteArray("[]");
        QTest::newRow("empty file") << QByteArray();
    }

    void openFailure()
    {
        QFETCH(QByteArray, content);
        const QString good = writeSample("good.mpj");
        writeSettings({{"paths/lastproject", good}, {"paths/projectfilespath", "/nowhere"}});
        const QString bad = m_dir->filePath("bad.mpj");
        QVERIFY(TestUtil::writeFile(bad, content));
        auto window = makeWindow();
        QCOMPARE(window->project()->allDevices().size(), 6);

        auto box = std::make_shared<BoxSeen>();
        auto chosen = acceptFileDialog(bad);
        auto answered = answerMessageBox("OK", box);
        window->on_menuOpenClicked();
        QVERIFY(*chosen);
        QVERIFY(*answered);
        QCOMPARE(box->title, "Ошибка");
        QCOMPARE(box->text, "Ошибка открытия файла проекта " + bad + ".");
        // The open project and the settings stay as they were.
        QCOMPARE(window->project()->allDevices().size(), 6);
        QCOMPARE(window->project()->path, good);
        QCOMPARE(setting(window, "paths/lastproject"), good);
        QCOMPARE(setting(window, "paths/projectfilespath"), "/nowhere");
    }

    void openCancelled()
    {
        auto window = makeWindow();
        window->project()->addGroup(nullptr);
        window->project()->modified = false;
        auto cancelled = cancelFileDialog();
        window->on_menuOpenClicked();
        QVERIFY(*cancelled);
        QCOMPARE(window->project()->nodes.size(), 1);
        QVERIFY(setting(window, "paths/lastproject").isEmpty());
    }

    void saveNeverSavedProject()
    {
        auto window = makeWindow();
        QVERIFY(!window->isWindowModified());
        fillSample(window->project());
        QVERIFY(window->project()->modified);
        // The title marks the unsaved changes.
        QVERIFY(window->isWindowModified());
        const QString path = m_dir->filePath("new.mpj");

        auto seen = std::make_shared<FileDialogSeen>();
        auto done = acceptFileDialog(path, seen);
        window->on_menuSaveClicked();
        QVERIFY(*done);
        QCOMPARE(seen->fileMode, QFileDialog::AnyFile);
        QCOMPARE(seen->acceptMode, QFileDialog::AcceptSave);

        QVERIFY(QFile::exists(path));
        QVERIFY(!window->project()->modified);
        QCOMPARE(window->windowTitle(), "Конфигуратор NORDA-СЕТЬ 1.0.1.222 - " + path + "[*]");
        QVERIFY(!window->isWindowModified());
        QCOMPARE(window->statusBar()->currentMessage(), "Проект сохранён в файл " + path + ".");
        QCOMPARE(setting(window, "paths/lastproject"), path);
        QCOMPARE(setting(window, "paths/projectfilespath"), m_dir->path());
        ProjectModel reread;
        QCOMPARE(reread.load(path), 0);
        QCOMPARE(reread.allDevices().size(), 6);

        // A second save goes to the same file without asking.
        window->statusBar()->clearMessage();
        window->on_pushButtonAddGroup_clicked();
        QVERIFY(window->isWindowModified());
        window->on_menuSaveClicked();
        QVERIFY(!window->project()->modified);
        QVERIFY(!window->isWindowModified());
        QCOMPARE(window->statusBar()->currentMessage(), "Проект сохранён в файл " + path + ".");
        QCOMPARE(reread.load(path), 0);
        QCOMPARE(reread.allGroups().size(), 4);
    }

    void saveAfterSaveAsWritesTheNewFile()
    {
        const QString first = writeSample("first.mpj");
        const QByteArray firstContent = readFile(first);
        writeSettings({{"paths/lastproject", first}});
        auto window = makeWindow();
        const QString second = m_dir->filePath("second.mpj");
        auto done = acceptFileDialog(second);
        window->on_menuSaveAsClicked();
        QVERIFY(*done);
        QCOMPARE(window->project()->path, second);

        namedGroup(window->project(), "after save as");
        window->on_menuSaveClicked();
        QVERIFY(readFile(second).contains("after save as"));
        QCOMPARE(readFile(first), firstContent);
    }

    void saveFailure()
    {
        auto window = makeWindow();
        fillSample(window->project());
        const QString path = m_dir->filePath("no-such-folder/x.mpj");
        auto box = std::make_shared<BoxSeen>();
        auto chosen = acceptFileDialog(path);
        auto answered = answerMessageBox("OK", box);
        window->on_menuSaveAsClicked();
        QVERIFY(*chosen);
        QVERIFY(*answered);
        QCOMPARE(box->title, "Ошибка");
        QCOMPARE(box->text, "Ошибка сохранения файла проекта " + path + ".");
        QVERIFY(window->project()->modified);
        QVERIFY(window->project()->path.isEmpty());
        QVERIFY(setting(window, "paths/lastproject").isEmpty());
        QCOMPARE(window->windowTitle(), "Конфигуратор NORDA-СЕТЬ (версия 1.0.1.222)[*]");
        QVERIFY(window->isWindowModified());
        QVERIFY(window->statusBar()->currentMessage().isEmpty());

        // Saving to a known path that cannot be written names that path.
        window->project()->path = path;
        auto again = std::make_shared<BoxSeen>();
        auto answeredAgain = answerMessageBox("OK", again);
        window->on_menuSaveClicked();
        QVERIFY(*answeredAgain);
        QCOMPARE(again->text, "Ошибка сохранения файла проекта " + path + ".");
    }

    void closeProject()
    {
        const QString path = writeSample("a.mpj");
        writeSettings({{"paths/lastproject", path}});
        auto window = makeWindow();
        const QString title = window->windowTitle();
        QPointer<ProjectModel> old = window->project();
        QPointer<ProjectDevice> device = old->findDeviceBySerial(100);
        QCOMPARE(window->treeModel()->rowCount(), 3);
        const auto selectionModels = [&window]() {
            return window->treeView()
                ->findChildren<QItemSelectionModel *>(QString(), Qt::FindDirectChildrenOnly)
                .size();
        };
        const int selectionModelsBefore = selectionModels();

        window->on_menuCloseClicked();
        // The old model's selection model goes with it.
        QCOMPARE(selectionModels(), selectionModelsBefore);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(old.isNull());
        QVERIFY(window->project());
        QVERIFY(window->project()->nodes.isEmpty());
        QVERIFY(!window->project()->modified);
        QCOMPARE(window->treeModel()->project(), window->project());
        QCOMPARE(window->treeView()->model(), window->treeModel());
        QCOMPARE(window->treeModel()->rowCount(), 0);
        QCOMPARE(window->windowTitle(), title);
        QCOMPARE(setting(window, "paths/lastproject"), QString());
        QCOMPARE(setting(window, "paths/projectfilespath"), m_dir->path());
        QTRY_VERIFY(device.isNull());

        // The new project is a working one: a group added shows in the tree.
        window->on_pushButtonAddGroup_clicked();
        QCOMPARE(window->treeModel()->rowCount(), 1);
    }

    void quitQuestion_data()
    {
        const QuitRow rows[] = {
            // name, modified, saveTo, answer, fileDialog, closes, saved, exitCommand
            {"unmodified", false, "ok", "", "", true, false, false},
            {"cancel", true, "ok", "Отмена", "", false, false, false},
            {"box closed otherwise", true, "ok", "", "", false, false, false},
            {"no", true, "ok", "Нет, не сохранять", "", true, false, false},
            {"yes, saved", true, "ok", "Да, сохранить", "", true, true, false},
            {"yes, save as accepted", true, "", "Да, сохранить", "accept", true, true, false},
            {"yes, save as cancelled", true, "", "Да, сохранить", "cancel", false, false, false},
            {"yes, save fails", true, "bad", "Да, сохранить", "", false, false, false},
            {"exit command, cancel", true, "ok", "Отмена", "", false, false, true},
            {"exit command, no", true, "ok", "Нет, не сохранять", "", true, false, true},
        };
        TestUtil::addRows(rows);
    }

    void quitQuestion()
    {
        QFETCH(QuitRow, row);
        const bool modified = row.modified;
        const QString saveTo = row.saveTo;
        const QString answer = row.answer;
        const QString fileDialog = row.fileDialog;

        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fillSample(window->project());
        const QString target = m_dir->filePath("quit.mpj");
        if (saveTo == "ok")
            window->project()->path = target;
        else if (saveTo == "bad")
            window->project()->path = m_dir->filePath("missing/quit.mpj");
        window->project()->modified = modified;

        auto box = std::make_shared<BoxSeen>();
        std::shared_ptr<bool> asked;
        std::shared_ptr<bool> dialogHandled;
        std::shared_ptr<bool> errorShown;
        auto errorBox = std::make_shared<BoxSeen>();
        const bool saveFails = saveTo == QLatin1String("bad") && answer == "Да, сохранить";
        if (modified && saveFails) {
            // The failed save shows its error box while the question is still being handled.
            asked = onNextModal<QMessageBox>([box, errorBox, &errorShown](QMessageBox *question) {
                noteBox(question, box);
                errorShown = answerMessageBox("OK", errorBox);
                question->button(QMessageBox::Yes)->click();
            });
        } else if (modified) {
            asked = answerMessageBox(answer, box);
            if (fileDialog == "accept")
                dialogHandled = acceptFileDialog(target);
            else if (fileDialog == "cancel")
                dialogHandled = cancelFileDialog();
        }
        if (row.exitCommand)
            window->findChild<QAction *>("actionExit")->trigger();
        const bool closed = row.exitCommand ? !window->isVisible() : window->close();

        if (modified) {
            QVERIFY(*asked);
            QCOMPARE(box->title, "Закрытие программы");
            QCOMPARE(box->text, "Проект был изменен. Сохранить изменения?");
            QCOMPARE(box->buttons.size(), 3);
            QVERIFY(box->buttons.contains("Да, сохранить"));
            QVERIFY(box->buttons.contains("Нет, не сохранять"));
            QVERIFY(box->buttons.contains("Отмена"));
        }
        if (saveFails) {
            // The error box was shown, and answered, before the window decided to stay open.
            QVERIFY(errorShown && *errorShown);
            QCOMPARE(errorBox->title, "Ошибка");
            QVERIFY(errorBox->text.startsWith("Ошибка сохранения файла проекта "));
        }
        if (dialogHandled)
            QVERIFY(*dialogHandled);
        QCOMPARE(closed, row.closes);
        QCOMPARE(window->isVisible(), !row.closes);
        QCOMPARE(QFile::exists(target), row.saved);
        QCOMPARE(window->project()->modified, modified && !row.saved);
    }

    void openOrCloseModifiedAsksFirst_data()
    {
        QTest::addColumn<bool>("opening");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("proceeds");
        QTest::addColumn<bool>("saved");

        QTest::newRow("open, cancel") << true << "Отмена" << false << false;
        QTest::newRow("open, no") << true << "Нет, не сохранять" << true << false;
        QTest::newRow("open, yes") << true << "Да, сохранить" << true << true;
        QTest::newRow("close, cancel") << false << "Отмена" << false << false;
        QTest::newRow("close, no") << false << "Нет, не сохранять" << true << false;
        QTest::newRow("close, yes") << false << "Да, сохранить" << true << true;
    }

    void openOrCloseModifiedAsksFirst()
    {
        QFETCH(bool, opening);
        QFETCH(QString, answer);
        QFETCH(bool, proceeds);
        QFETCH(bool, saved);

        const QString other = writeSample("other.mpj");
        auto window = makeWindow();
        const QString current = m_dir->filePath("current.mpj");
        window->project()->path = current;
        namedGroup(window->project(), "unsaved");
        QVERIFY(window->project()->modified);

        auto box = std::make_shared<BoxSeen>();
        auto asked = answerMessageBox(answer, box);
        std::shared_ptr<bool> chosen = opening ? acceptFileDialog(other) : nullptr;
        if (opening)
            window->on_menuOpenClicked();
        else
            window->on_menuCloseClicked();
        QVERIFY(*asked);
        QCOMPARE(box->text, "Проект был изменен. Сохранить изменения?");
        QCOMPARE(box->buttons.size(), 3);
        if (opening && proceeds)
            QVERIFY(*chosen);
        // "Отмена" leaves the project as it was, unsaved changes included.
        const bool stillThere = !window->project()->allGroups().isEmpty() &&
            window->project()->allGroups().first()->name == "unsaved";
        QCOMPARE(stillThere, !proceeds);
        QCOMPARE(QFile::exists(current), saved);
        if (saved)
            QVERIFY(readFile(current).contains("unsaved"));
        if (opening && proceeds)
            QCOMPARE(window->project()->allDevices().size(), 6);
        if (!proceeds)
            QVERIFY(window->project()->modified);
        if (opening && !proceeds) {
            // No file dialog was shown: clean up the watch by letting it expire unused.
            QVERIFY(!*chosen);
        }
    }

    void renameInPlaceMakesQuitAsk()
    {
        const QString path = writeSample("a.mpj");
        writeSettings({{"paths/lastproject", path}});
        auto window = makeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(!window->project()->modified);

        ProjectTreeView *view = window->treeView();
        ProjectGroup *group = window->project()->allGroups().first();
        view->selectNode(group);
        window->on_groupDoubleClick(view->currentIndex());
        QLineEdit *editor = nullptr;
        QTRY_VERIFY((editor = view->viewport()->findChild<QLineEdit *>()) != nullptr);
        QTRY_VERIFY(editor->isVisible());
        QCOMPARE(editor->text(), "A");
        editor->selectAll();
        QTest::keyClicks(editor, "Block 7");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(group->name, "Block 7");
        QVERIFY(window->project()->modified);

        auto asked = answerMessageBox("Отмена");
        QVERIFY(!window->close());
        QVERIFY(*asked);
    }

    void fileNamesKeepTheSystemEncoding()
    {
        auto window = makeWindow();
        const QString name = "Проект Иванова.mpj";
        // File names reach the file system in UTF-8, whatever text codec the window sets.
        QCOMPARE(QFile::encodeName(name), name.toUtf8());

        fillSample(window->project());
        const QString path = m_dir->filePath(name);
        auto saved = acceptFileDialog(path);
        window->on_menuSaveAsClicked();
        QVERIFY(*saved);
        QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).contains(name));

        window->project()->modified = false;
        window->on_menuCloseClicked();
        auto opened = acceptFileDialog(path);
        window->on_menuOpenClicked();
        QVERIFY(*opened);
        QCOMPARE(window->project()->allDevices().size(), 6);
    }

private:
    QString settingsPath() const { return m_dir->filePath("settings.ini"); }
    void writeSettings(const QMap<QString, QString> &values)
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            settings.setValue(it.key(), it.value());
    }

    QString settingValue(const char *key)
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        return settings.value(key).toString();
    }

    std::unique_ptr<MainWindow> makeWindow()
    {
        return std::make_unique<MainWindow>(settingsPath());
    }

    QString writeSample(const QString &name)
    {
        ProjectModel project;
        fillSample(&project);
        const QString path = m_dir->filePath(name);
        return project.save(path) == 0 ? path : QString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

NORDA_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
