// The access levels in the real windows: every command of the access table in the main
// window, the tree's menu and the device windows, at every level; the log-in dialog; the
// alarm of monitoring mode as the window drives it.

#include "app/logindialog.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "devices/devicewindowfactories.h"
#include "gui/devicewindowcontext.h"
#include "guitest.h"
#include "journal/accesssession.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/userstore.h"
#include "project/accesslevels.h"
#include "project/devicetype.h"
#include "testutil.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace GuiTest;

namespace {

struct LevelRow {
    const char *name;
    bool users;
    const char *fullAccess;
    int login; // 0: nobody logs in
    bool monitoring;
    int level;
    const char *label;
};

using Kind = DeviceWindowRegistry::Kind;

// Checks one command: below its level disabled with the level in its tooltip.
void checkCommand(QObject *object, int needed, int level, const QString &where)
{
    const bool enabled = qobject_cast<QWidget *>(object)
        ? static_cast<QWidget *>(object)->isEnabled()
        : static_cast<QAction *>(object)->isEnabled();
    const QString tip = object->property("toolTip").toString();
    const QString what = where + QLatin1Char(' ') + object->objectName();
    if (needed > level) {
        QVERIFY2(!enabled, qPrintable(what));
        QVERIFY2(tip == AccessLevels::neededText(needed), qPrintable(what + ": " + tip));
    } else {
        QVERIFY2(!tip.startsWith(QStringLiteral("Нужен уровень")), qPrintable(what + ": " + tip));
    }
}

// Every object of `root` the table names for `place`; how many there were.
int checkPlace(QWidget *root, AccessLevels::Place place, int level, const QString &where)
{
    int found = 0;
    for (const AccessLevels::Rule &rule : AccessLevels::rules()) {
        if (rule.place != place)
            continue;
        const QString name = QString::fromUtf8(rule.name);
        QList<QObject *> objects;
        for (QWidget *widget : root->findChildren<QWidget *>(name))
            objects << widget;
        for (QAction *action : root->findChildren<QAction *>(name))
            objects << action;
        for (QObject *object : objects) {
            checkCommand(object, rule.level, level, where);
            ++found;
        }
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(LevelRow)

class TestAccessGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        qputenv("NORDA_LOGIN_DELAY_MS", "20");
        UserStore store(JournalLocation::file(usersDb()));
        QVERIFY(store.open());
        QString error;
        for (int level : {4, 1, 2, 3})
            QVERIFY2(store.add(QStringLiteral("u%1").arg(level), level,
                               QStringLiteral("pass%1").arg(level), "test", &error),
                     qPrintable(error));
    }

    void levels_data()
    {
        TestUtil::addRows<LevelRow>({
            {"no users", false, "0", 0, false, 3, "Доступ не ограничен"},
            {"no users, fullaccess", false, "1", 0, true, 4, "Доступ не ограничен"},
            {"users, fullaccess ignored", true, "1", 0, true, 1, "Уровень доступа 1 (просмотр)"},
            {"operator", true, "0", 2, true, 2, "u2: уровень доступа 2 (оператор)"},
            {"installer", true, "0", 3, false, 3, "u3: уровень доступа 3 (наладчик)"},
            {"factory", true, "1", 4, false, 4, "u4: уровень доступа 4 (завод)"},
        });
    }

    void levels()
    {
        QFETCH(LevelRow, row);
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        ProjectModel project(ProjectModel::Journals::None);
        fillSample(&project);
        const QString database = row.users ? usersDb() : work.filePath("log.sqlite");
        MainWindow window(windowSettings(
            work.path(), row.monitoring, &project,
            {{"journal/database", database}, {"factory/fullaccess", row.fullAccess}}));
        window.installDeviceWindows();
        AccessSession *session = window.accessSession();
        QVERIFY(session);
        if (row.login) {
            QSignalSpy in(session, &AccessSession::loggedIn);
            QCOMPARE(session
                         ->logIn(QStringLiteral("u%1").arg(row.login),
                                 QStringLiteral("pass%1").arg(row.login))
                         .check,
                     UserStore::Check::Ok);
            QCOMPARE(in.count(), 1);
        }
        QCOMPARE(session->level(), row.level);
        QCOMPARE(child<QLabel>(&window, "labelAccess")->text(), QString::fromUtf8(row.label));
        QCOMPARE(child<QAction>(&window, "actionLogin")->isEnabled(), row.users && !row.login);
        QCOMPARE(child<QAction>(&window, "actionLogout")->isEnabled(), row.login != 0);

        QVERIFY(checkPlace(&window, AccessLevels::Place::MainWindow, row.level, "main") >= 15);
        checkTree(window);

        // Every device window opened from this console.
        int found = 0;
        for (const auto &kind :
             {qMakePair(Kind::CentralUnit, 2), qMakePair(Kind::Loudspeaker, 7),
              qMakePair(Kind::IpConsole, 8), qMakePair(Kind::MediaConverter, 9),
              qMakePair(Kind::FourLineUnit, 4), qMakePair(Kind::Firmware, 255)}) {
            ProjectDevice device(kind.second);
            device.ip_enabled = true;
            device.ip_addr = QStringLiteral("127.0.0.1");
            DeviceWindowContext context;
            context.settings = window.settings();
            context.project = window.project();
            context.ports.commandPort = 1;
            context.access = session;
            std::unique_ptr<QWidget> opened(
                DeviceWindowFactories::factory(kind.first)(&device, context));
            QVERIFY(opened);
            found += checkPlace(opened.get(), AccessLevels::Place::DeviceWindow, row.level,
                                opened->objectName());
        }
        QVERIFY(found >= 60);

        // The level falls back when the user logs out; the window follows.
        if (row.login) {
            session->logOut();
            checkPlace(&window, AccessLevels::Place::MainWindow, 1, "main after log-out");
        }
    }

    // A wrong password is said in the dialog, which stays for another try.
    void loginDialog()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        MainWindow window(
            windowSettings(work.path(), true, nullptr, {{"journal/database", usersDb()}}));
        QSignalSpy failed(window.accessSession(), &AccessSession::loginFailed);
        window.showLoginDialog();
        auto *dialog = window.findChild<LoginDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        child<QLineEdit>(dialog, "lineEditUser")->setText("u2");
        child<QLineEdit>(dialog, "lineEditPassword")->setText("wrong");
        dialog->accept();
        QCOMPARE(failed.count(), 1);
        QVERIFY(dialog->isVisible());
        QCOMPARE(child<QLabel>(dialog, "labelLoginMessage")->text(),
                 QStringLiteral("Неверное имя пользователя или пароль."));
        // The next try waits for the (shortened) delay after the failure.
        UserStore store(JournalLocation::file(usersDb()));
        QVERIFY(store.open());
        QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() >= store.find("u2")->retryAfterMs);
        child<QLineEdit>(dialog, "lineEditPassword")->setText("pass2");
        dialog->accept();
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(window.accessSession()->level(), 2);
        QVERIFY(!child<QPushButton>(&window, "pushButtonMuteAlarm")->toolTip().startsWith("Нужен"));
    }

    // A new fault sounds and counts in the title until it is acknowledged or silenced; a
    // newer one sounds again.
    void alarmInWindow()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        ProjectModel project(ProjectModel::Journals::None);
        fillSample(&project);
        MainWindow window(windowSettings(work.path(), true, &project,
                                         {{"journal/database", work.filePath("log.sqlite")}}));
        DatabaseLog *log = window.project()->logDb;
        QVERIFY(log);
        auto *mute = child<QPushButton>(&window, "pushButtonMuteAlarm");
        const int device = window.project()->allDevices().first()->id_obj;
        // Two different faults: the journal keeps one record per change.
        auto fault = [&](int code) {
            QVERIFY(log->insertEvent(device, QString(), code, QDateTime::currentDateTime()));
        };
        QVERIFY(!mute->isEnabled());
        QVERIFY(!window.windowTitle().contains("непросмотренных"));

        fault(EventCode::Tamper);
        QTRY_VERIFY(mute->isEnabled());
        QVERIFY2(window.windowTitle().contains(" — непросмотренных событий: 1"),
                 qPrintable(window.windowTitle()));
        mute->click();
        QVERIFY(!mute->isEnabled());
        // Silenced, the title still counts.
        QVERIFY(window.windowTitle().contains(" — непросмотренных событий: 1"));

        fault(EventCode::Mains);
        QTRY_VERIFY(mute->isEnabled());
        QVERIFY2(window.windowTitle().contains(" — непросмотренных событий: 2"),
                 qPrintable(window.windowTitle()));
        child<QPushButton>(&window, "pushButtonClearErrorStack")->click();
        QTRY_VERIFY(!mute->isEnabled());
        QVERIFY2(!window.windowTitle().contains("непросмотренных"),
                 qPrintable(window.windowTitle()));
        // A recovery is no fault: nothing sounds.
        QVERIFY(log->insertEvent(device, QString(), EventCode::Cleared + EventCode::Tamper,
                                 QDateTime::currentDateTime()));
        QVERIFY(!mute->isEnabled());
    }

    // A command the window turned on and off again while the level held it shows the
    // window's state once the level lets it through: "Отключить звук" after the alarm ended
    // elsewhere stays off for the operator who logs in.
    void unblockedCommandFollowsTheWindow()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        const QString journal = work.filePath("log.sqlite");
        QVERIFY(QFile::copy(usersDb(), journal));
        ProjectModel project(ProjectModel::Journals::None);
        fillSample(&project);
        MainWindow window(
            windowSettings(work.path(), true, &project, {{"journal/database", journal}}));
        AccessSession *session = window.accessSession();
        QCOMPARE(session->level(), 1);
        auto *mute = child<QPushButton>(&window, "pushButtonMuteAlarm");
        DatabaseLog *log = window.project()->logDb;
        QVERIFY(log->insertEvent(window.project()->allDevices().first()->id_obj, QString(),
                                 EventCode::Tamper, QDateTime::currentDateTime()));
        QVERIFY(window.windowTitle().contains(" — непросмотренных событий: 1"));
        QVERIFY(!mute->isEnabled());
        QVERIFY(log->markAllSeen());
        QVERIFY(!window.windowTitle().contains("непросмотренных"));
        QSignalSpy in(session, &AccessSession::loggedIn);
        QCOMPARE(session->logIn("u2", "pass2").check, UserStore::Check::Ok);
        QCOMPARE(session->level(), 2);
        QVERIFY(!mute->isEnabled());
        QVERIFY(!mute->toolTip().startsWith("Нужен"));
    }

private:
    QString usersDb() const { return dir.filePath("users.sqlite"); }

    void checkTree(MainWindow &window)
    {
        const int level = window.accessSession()->level();
        ProjectTreeView *tree = window.treeView();
        for (QObject *node : {static_cast<QObject *>(window.project()->allDevices().first()),
                              static_cast<QObject *>(window.project()->allDevices().at(3)),
                              static_cast<QObject *>(window.project()->allGroups().first())}) {
            tree->selectNode(node);
            std::unique_ptr<QMenu> menu(tree->createContextMenu(tree->currentIndex()));
            QVERIFY(menu);
            for (QAction *action : menu->actions()) {
                QString rule = action->text();
                auto *device = qobject_cast<ProjectDevice *>(action->data().value<QObject *>());
                if (rule == QStringLiteral("Настройка") && device &&
                    isCentralUnitType(device->type))
                    rule = QStringLiteral("Настройка (запись проекта в центральный блок)");
                const int needed = AccessLevels::required(AccessLevels::Place::Tree, rule);
                QVERIFY2(needed > 0, qPrintable(rule));
                checkCommand(action, needed, level, "tree " + rule);
            }
        }
    }

    QTemporaryDir dir;
};

QTEST_MAIN(TestAccessGui)
#include "tst_accessgui.moc"
