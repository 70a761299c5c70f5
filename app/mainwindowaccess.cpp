// The main window's access level, log-in and the alarm of monitoring mode.

#include "app/logindialog.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "ui_mainwindow.h"

#include "gui/accessguard.h"
#include "journal/accesssession.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/journallocation.h"
#include "journal/userstore.h"
#include "monitor/alarmstate.h"
#include "project/accesslevels.h"
#include "project/projectmodel.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSoundEffect>
#include <QStatusBar>

namespace {

constexpr int defaultIdleMinutes = 10;

bool isFault(int code)
{
    return !EventCode::isRecovery(code) && code != EventCode::Acknowledged;
}

} // namespace

void MainWindow::setUpAccess()
{
    bool configured = false;
    const JournalLocation location = journalLocation(*m_settings, &configured);
    if (location.isValid()) {
        m_users = new UserStore(location, this);
        QString error;
        if (!m_users->open(&error))
            qWarning().noquote() << "Users cannot be read from" << location.text() << ":" << error;
    }
    const int withoutUsers = AccessLevels::levelWithoutUsers(
        m_settings->value(QStringLiteral("factory/fullaccess"), QStringLiteral("0")).toString());
    m_access = new AccessSession(m_users, withoutUsers, this);
    bool ok = false;
    int minutes = m_settings->value(QStringLiteral("access/idleminutes")).toInt(&ok);
    if (!ok || minutes < 0)
        minutes = defaultIdleMinutes;
    m_access->setIdleTimeout(minutes * 60 * 1000);
    qApp->installEventFilter(this);

    auto *menu = menuBar()->addMenu(QStringLiteral("Доступ"));
    menu->setObjectName(QStringLiteral("menuAccess"));
    menu->setToolTipsVisible(true);
    m_loginAction = menu->addAction(QStringLiteral("Войти…"));
    m_loginAction->setObjectName(QStringLiteral("actionLogin"));
    m_logoutAction = menu->addAction(QStringLiteral("Выйти"));
    m_logoutAction->setObjectName(QStringLiteral("actionLogout"));
    connect(m_loginAction, &QAction::triggered, this, &MainWindow::showLoginDialog);
    connect(m_logoutAction, &QAction::triggered, m_access, &AccessSession::logOut);
    ui->menuFile->setToolTipsVisible(true);

    m_accessLabel = new QLabel(this);
    m_accessLabel->setObjectName(QStringLiteral("labelAccess"));
    statusBar()->addPermanentWidget(m_accessLabel);

    if (m_monitoring) {
        m_alarm = new AlarmState(this);
        m_alarm->setEnabled(m_settings->value(QStringLiteral("monitor/sound"), 1).toInt() != 0);
        m_muteButton = new QPushButton(QStringLiteral("Отключить звук"), ui->tabErrorStack);
        m_muteButton->setObjectName(QStringLiteral("pushButtonMuteAlarm"));
        m_muteButton->setEnabled(false);
        ui->horizontalLayoutErrorStack->insertWidget(2, m_muteButton);
        connect(m_muteButton, &QPushButton::clicked, m_alarm, &AlarmState::silence);
        connect(m_alarm, &AlarmState::soundingChanged, m_muteButton, &QWidget::setEnabled);
        connect(m_alarm, &AlarmState::ring, this, [this] {
            if (!m_sound) {
                m_sound = new QSoundEffect(this);
                m_sound->setSource(QUrl(QStringLiteral("qrc:/sounds/alarm.wav")));
            }
            m_sound->play();
            QApplication::alert(this);
        });
        connect(m_alarm, &AlarmState::unacknowledgedChanged, this,
                [this] { setProjectTitle(QString()); });
        connectAlarm(m_project ? m_project->logDb : nullptr);
        updateAlarm();
    }

    m_guard = new AccessGuard(this, AccessLevels::Place::MainWindow, m_access->level());
    connect(m_access, &AccessSession::levelChanged, this, &MainWindow::applyAccessLevel);
    applyAccessLevel(m_access->level());
}

void MainWindow::applyAccessLevel(int level)
{
    m_guard->setLevel(level);
    m_treeView->setAccessLevel(level);
    const bool users = m_access->usersDefined();
    m_loginAction->setEnabled(users && m_access->userName().isEmpty());
    m_logoutAction->setEnabled(users && !m_access->userName().isEmpty());
    QString text;
    if (!users)
        text = QStringLiteral("Доступ не ограничен");
    else if (m_access->userName().isEmpty())
        text = QStringLiteral("Уровень доступа 1 (%1)").arg(AccessLevels::levelName(1));
    else
        text = QStringLiteral("%1: уровень доступа %2 (%3)")
                   .arg(m_access->userName())
                   .arg(level)
                   .arg(AccessLevels::levelName(level));
    m_accessLabel->setText(text);
    // A button let through again shows what the alarm is now, not what it was when blocked.
    if (m_muteButton)
        m_muteButton->setEnabled(m_alarm->isSounding());
    // What the level let through is again up to the window's own state.
    applyEditState();
}

void MainWindow::showLoginDialog()
{
    if (!m_access->usersDefined())
        return;
    auto *dialog = new LoginDialog(m_access, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        if (m_access)
            m_access->noteActivity();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::connectAlarm(DatabaseLog *log)
{
    if (!m_alarm || !log)
        return;
    connect(log, &DatabaseLog::eventInserted, m_alarm,
            [this](const EventRecord &record) { countNewEvent(record); });
    connect(log, &DatabaseLog::allSeen, this, &MainWindow::updateAlarm);
}

void MainWindow::alarmOnEvents(const QVector<EventRecord> &records)
{
    // A watching console learns of the monitors' events from the site's database, a batch
    // at a time (which may repeat what it counted at start): the count is asked again.
    if (!m_alarm)
        return;
    for (const EventRecord &record : records) {
        if (isFault(record.code)) {
            m_alarm->faultArrived();
            break;
        }
    }
    updateAlarm();
}

void MainWindow::countNewEvent(const EventRecord &record)
{
    // Every new record waits for its acknowledgement (the count "Актуальных" shows); the
    // acknowledgement counts again from the journal.
    if (record.code != EventCode::Acknowledged && record.seen == 0)
        m_alarm->setUnacknowledged(m_alarm->unacknowledged() + 1);
    if (isFault(record.code))
        m_alarm->faultArrived();
}

void MainWindow::updateAlarm()
{
    if (!m_alarm)
        return;
    DatabaseLog *log = m_project ? m_project->logDb : nullptr;
    m_alarm->setUnacknowledged(log ? log->eventCount(0) : 0);
}

QString MainWindow::alarmTitleSuffix() const
{
    if (!m_alarm || m_alarm->unacknowledged() == 0)
        return QString();
    return QStringLiteral(" — непросмотренных событий: %1").arg(m_alarm->unacknowledged());
}
