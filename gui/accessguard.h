#pragma once

#include "project/accesslevels.h"

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

// Keeps the commands of one window that the access level does not reach disabled, with
// the level they need in their tooltip. The commands are the window's actions and widgets
// named in the access table for the window's place; the window's own logic may enable and
// disable them as before: while the level is too low the guard turns them off again, and
// gives back what the window last wanted once the level allows. A window that disables a
// command while it is blocked cannot be seen doing so (it is off already): windows with
// state of their own set their commands again on unblocked().
class AccessGuard : public QObject {
    Q_OBJECT

public:
    AccessGuard(QWidget *root, AccessLevels::Place place, int level);

    int level() const { return current; }
    // Whether the command named `name` (an object name, or a tree text) is allowed now.
    bool allows(const QString &name) const;
    // Looks the window through again (widgets made since) and applies `level`.
    void setLevel(int level);

signals:
    // Commands the level did not reach are let through again.
    void unblocked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // True when it let the object through again.
    bool applyTo(QObject *object, int needed);
    void setObjectEnabled(QObject *object, bool enabled);

    QPointer<QWidget> root;
    AccessLevels::Place place;
    int current = 0;
    bool applying = false;
};
