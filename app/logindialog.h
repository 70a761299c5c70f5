#pragma once

#include <QDialog>

class AccessSession;
class QLabel;
class QLineEdit;

// "Вход": a user's name and password; a refused log-in is said in the dialog, which stays
// open for another try.
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    LoginDialog(AccessSession *session, QWidget *parent = nullptr);

    void accept() override;

private:
    AccessSession *session;
    QLineEdit *name;
    QLineEdit *password;
    QLabel *message;
};
