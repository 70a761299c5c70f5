#include "app/logindialog.h"

#include "journal/accesssession.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

LoginDialog::LoginDialog(AccessSession *session, QWidget *parent)
    : QDialog(parent)
    , session(session)
    , name(new QLineEdit(this))
    , password(new QLineEdit(this))
    , message(new QLabel(this))
{
    setObjectName(QStringLiteral("LoginDialog"));
    setWindowTitle(QStringLiteral("Вход"));
    name->setObjectName(QStringLiteral("lineEditUser"));
    password->setObjectName(QStringLiteral("lineEditPassword"));
    password->setEchoMode(QLineEdit::Password);
    message->setObjectName(QStringLiteral("labelLoginMessage"));
    message->setStyleSheet(QStringLiteral("color: red;"));
    message->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Войти"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LoginDialog::reject);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Пользователь:"), name);
    form->addRow(QStringLiteral("Пароль:"), password);
    form->addRow(message);
    form->addRow(buttons);
}

void LoginDialog::accept()
{
    const UserStore::Verdict verdict = session->logIn(name->text().trimmed(), password->text());
    password->clear();
    switch (verdict.check) {
    case UserStore::Check::Ok:
        QDialog::accept();
        return;
    case UserStore::Check::Waiting:
        message->setText(QStringLiteral("Слишком много неудачных попыток. Повторите через %1 с.")
                             .arg((verdict.waitMs + 999) / 1000));
        return;
    case UserStore::Check::Failed:
        message->setText(QStringLiteral("Ошибка базы пользователей: ") + verdict.error);
        return;
    default:
        message->setText(QStringLiteral("Неверное имя пользователя или пароль."));
        return;
    }
}
