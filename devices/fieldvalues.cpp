#include "devices/fieldvalues.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

namespace {

// A spin box or date field that holds no value; check boxes show it by their state.
const char unreadProperty[] = "fieldValueUnread";
// The reactions below are connected once per control.
const char watchedProperty[] = "fieldValueWatched";

QLineEdit *spinEdit(const QAbstractSpinBox *box)
{
    return box->findChild<QLineEdit *>(QStringLiteral("qt_spinbox_lineedit"));
}

void blankSpin(QAbstractSpinBox *box)
{
    if (QLineEdit *edit = spinEdit(box))
        edit->clear();
}

void watchSpin(QAbstractSpinBox *box)
{
    auto give = [box] { box->setProperty(unreadProperty, false); };
    if (auto *spin = qobject_cast<QSpinBox *>(box))
        QObject::connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), box, give);
    else if (auto *spin = qobject_cast<QDoubleSpinBox *>(box))
        QObject::connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), box, give);
    else if (auto *time = qobject_cast<QDateTimeEdit *>(box))
        QObject::connect(time, &QDateTimeEdit::dateTimeChanged, box, give);
    // Typed by the user, even the number the box hides.
    if (QLineEdit *edit = spinEdit(box))
        QObject::connect(edit, &QLineEdit::textEdited, box, give);
    // Leaving an empty box makes it show its hidden number again: it stays empty.
    QObject::connect(box, &QAbstractSpinBox::editingFinished, box, [box] {
        if (box->property(unreadProperty).toBool())
            blankSpin(box);
    });
}

void watchCheck(QCheckBox *box)
{
    // Once ticked or cleared, by the user or an answer, the box is a two-state one again.
    QObject::connect(box, &QCheckBox::stateChanged, box, [box](int state) {
        if (state != Qt::PartiallyChecked)
            box->setTristate(false);
    });
}

} // namespace

void FieldValues::clear(QWidget *widget)
{
    const bool watched = widget->property(watchedProperty).toBool();
    widget->setProperty(watchedProperty, true);
    if (auto *box = qobject_cast<QComboBox *>(widget)) {
        box->setCurrentIndex(-1);
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        edit->clear();
    } else if (auto *check = qobject_cast<QCheckBox *>(widget)) {
        if (!watched)
            watchCheck(check);
        check->setTristate(true);
        check->setCheckState(Qt::PartiallyChecked);
    } else if (auto *spin = qobject_cast<QAbstractSpinBox *>(widget)) {
        if (!watched)
            watchSpin(spin);
        spin->setProperty(unreadProperty, true);
        blankSpin(spin);
    }
}

void FieldValues::given(QWidget *widget)
{
    if (qobject_cast<QAbstractSpinBox *>(widget))
        widget->setProperty(unreadProperty, false);
}

bool FieldValues::holds(const QWidget *widget)
{
    if (!widget)
        return false;
    if (auto *box = qobject_cast<const QComboBox *>(widget))
        return box->currentIndex() >= 0;
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return !edit->text().isEmpty() && edit->hasAcceptableInput();
    if (auto *check = qobject_cast<const QCheckBox *>(widget))
        return check->checkState() != Qt::PartiallyChecked;
    if (auto *spin = qobject_cast<const QAbstractSpinBox *>(widget))
        return !spin->property(unreadProperty).toBool() && spin->hasAcceptableInput();
    return true;
}

QStringList FieldValues::missing(const QList<Field> &fields)
{
    QStringList labels;
    for (const Field &field : fields) {
        if (!holds(field.widget))
            labels << field.label;
    }
    return labels;
}

QString FieldValues::incomplete(const QStringList &labels)
{
    QStringList quoted;
    for (const QString &label : labels)
        quoted << QStringLiteral("«%1»").arg(label);
    if (quoted.size() == 1)
        return QStringLiteral("Параметры не записаны: поле %1 заполнено не полностью.")
            .arg(quoted.first());
    return QStringLiteral("Параметры не записаны: поля %1 заполнены не полностью.")
        .arg(quoted.join(QStringLiteral(", ")));
}
