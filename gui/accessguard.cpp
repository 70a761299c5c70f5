#include "gui/accessguard.h"

#include <QAction>
#include <QEvent>
#include <QVariant>
#include <QWidget>

namespace {

const char blockedKey[] = "accessBlocked";
const char wantedKey[] = "accessWantedEnabled";
const char toolTipKey[] = "accessToolTip";

bool objectEnabled(QObject *object)
{
    if (auto *widget = qobject_cast<QWidget *>(object))
        return !widget->testAttribute(Qt::WA_ForceDisabled);
    if (auto *action = qobject_cast<QAction *>(object))
        return action->isEnabled();
    return false;
}

QString toolTipOf(QObject *object)
{
    if (auto *widget = qobject_cast<QWidget *>(object))
        return widget->toolTip();
    if (auto *action = qobject_cast<QAction *>(object))
        return action->toolTip() == action->text() ? QString() : action->toolTip();
    return QString();
}

void setToolTipOf(QObject *object, const QString &text)
{
    if (auto *widget = qobject_cast<QWidget *>(object))
        widget->setToolTip(text);
    else if (auto *action = qobject_cast<QAction *>(object))
        action->setToolTip(text);
}

} // namespace

AccessGuard::AccessGuard(QWidget *root, AccessLevels::Place place, int level)
    : QObject(root)
    , root(root)
    , place(place)
{
    setLevel(level);
}

bool AccessGuard::allows(const QString &name) const
{
    return AccessLevels::required(place, name) <= current;
}

void AccessGuard::setLevel(int level)
{
    current = level;
    if (!root)
        return;
    bool released = false;
    for (const AccessLevels::Rule &rule : AccessLevels::rules()) {
        if (rule.place != place)
            continue;
        const QString name = QString::fromUtf8(rule.name);
        for (QWidget *widget : root->findChildren<QWidget *>(name))
            released = applyTo(widget, rule.level) || released;
        for (QAction *action : root->findChildren<QAction *>(name))
            released = applyTo(action, rule.level) || released;
    }
    if (released)
        emit unblocked();
}

bool AccessGuard::applyTo(QObject *object, int needed)
{
    const bool blocked = object->property(blockedKey).toBool();
    if (needed > current) {
        if (!blocked) {
            object->setProperty(wantedKey, objectEnabled(object));
            object->setProperty(toolTipKey, toolTipOf(object));
            object->setProperty(blockedKey, true);
            if (auto *action = qobject_cast<QAction *>(object)) {
                connect(action, &QAction::changed, this, [this, action] {
                    if (!applying && action->property(blockedKey).toBool() && action->isEnabled()) {
                        action->setProperty(wantedKey, true);
                        setObjectEnabled(action, false);
                    }
                });
            } else {
                object->installEventFilter(this);
            }
        }
        setToolTipOf(object, AccessLevels::neededText(needed));
        setObjectEnabled(object, false);
        return false;
    }
    if (!blocked)
        return false;
    object->setProperty(blockedKey, false);
    setToolTipOf(object, object->property(toolTipKey).toString());
    setObjectEnabled(object, object->property(wantedKey).toBool());
    return true;
}

void AccessGuard::setObjectEnabled(QObject *object, bool enabled)
{
    const bool was = applying;
    applying = true;
    if (auto *widget = qobject_cast<QWidget *>(object))
        widget->setEnabled(enabled);
    else if (auto *action = qobject_cast<QAction *>(object))
        action->setEnabled(enabled);
    applying = was;
}

bool AccessGuard::eventFilter(QObject *watched, QEvent *event)
{
    // The window enabled a command the level does not reach: it stays off, and the wish
    // is kept for when the level allows it.
    if (event->type() == QEvent::EnabledChange && !applying &&
        watched->property(blockedKey).toBool()) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->isEnabled()) {
            widget->setProperty(wantedKey, true);
            setObjectEnabled(widget, false);
        }
    }
    return QObject::eventFilter(watched, event);
}
