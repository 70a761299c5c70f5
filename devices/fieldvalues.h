#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// Whether the input controls of a device window hold a value: one a good answer of the
// device gave, or one the user entered. Until then a control holds none and shows it: a
// combo box selects no item, a line edit is empty, a check box is partly checked, a spin
// box or a date and time field shows no number. A write whose fields do not all hold a
// value is refused with one message naming them, and nothing of it is sent.
//
// A failed answer gives nothing: the control keeps the last value it held, so after a
// reconnection whose reads fail it shows what the device said before, never a form
// default.
class FieldValues {
public:
    struct Field {
        const QWidget *widget;
        QString label;
    };

    // Takes the value away: `widget` is a QComboBox, QLineEdit, QCheckBox or
    // QAbstractSpinBox (QSpinBox, QDoubleSpinBox, QDateTimeEdit). The user's own edit, or
    // a value set later, gives it one again.
    static void clear(QWidget *widget);
    // A good answer set the control (needed where the value set may equal the hidden one
    // of a spin box).
    static void given(QWidget *widget);
    static bool holds(const QWidget *widget);

    // The labels of the fields that hold no complete value, in order.
    static QStringList missing(const QList<Field> &fields);
    // The refusal of a write whose fields are not all complete, naming them:
    // "Параметры не записаны: поле «IP-адрес» заполнено не полностью.", or for several
    // "... поля «А», «Б» заполнены не полностью.".
    static QString incomplete(const QStringList &labels);
};
