#pragma once

#include <QString>

class QWidget;

// The message boxes every window shows, with the program's titles and buttons. Each one is
// modal and returns when the user has closed it.
class MessageBoxes {
public:
    // Critical box titled "Ошибка".
    static void error(QWidget *parent, const QString &text);
    // Information box titled "Выполнено".
    static void done(QWidget *parent, const QString &text);
    // Information box with a title of the caller's.
    static void information(QWidget *parent, const QString &title, const QString &text);
    // Question with "Да" / "Нет" (Escape answers "Нет"); true for "Да".
    static bool confirm(QWidget *parent, const QString &title, const QString &text);
    // Question before something is removed, with "Да" / "Отмена": "Отмена" is the default
    // (Enter keeps what there is) and the escape button; true for "Да".
    static bool confirmRemoval(QWidget *parent, const QString &title, const QString &text);
    // "Проект был изменен. Сохранить изменения?" with "Да, сохранить", "Нет, не сохранять"
    // and "Отмена".
    enum class SaveAnswer { Save, Discard, Cancel };
    static SaveAnswer askSaveChanges(QWidget *parent, const QString &title);
};
