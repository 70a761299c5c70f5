#pragma once

// Helpers of the central unit and four-line unit window tests: descriptor names and their
// requests, filling the form's fields, what the settings tabs show.

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QSpinBox>
#include <QStringList>
#include <QTabWidget>
#include <QtTest>

namespace TovikWindowTest {

inline QString indexed(const char *name, int index)
{
    return QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(index);
}

// The unit's read-all in the order the unit's firmware documents it; `desc_AudioInGain`
// appears twice there and is read at its first place.
inline QStringList reads(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines << QStringLiteral("GET DESCRIPTOR desc_") + name;
    return lines;
}

inline QCheckBox *frameBox(QWidget *window, const QString &frame)
{
    auto *row = window->findChild<QWidget *>(frame);
    return row ? row->findChild<QCheckBox *>(QStringLiteral("checkBoxPultEnable")) : nullptr;
}

inline void fill(QWidget *window, const QStringList &fields)
{
    for (const QString &assignment : fields) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        QWidget *field = window->findChild<QWidget *>(name);
        QVERIFY2(field, qPrintable(name));
        if (name.startsWith(QLatin1String("frame")))
            field = frameBox(window, name);
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setText(value);
        else if (auto *box = qobject_cast<QComboBox *>(field))
            box->setCurrentIndex(value.mid(1).toInt());
        else if (auto *spin = qobject_cast<QSpinBox *>(field))
            spin->setValue(value.toInt());
        else if (auto *check = qobject_cast<QCheckBox *>(field))
            check->setChecked(value == QLatin1String("1"));
        else if (auto *time = qobject_cast<QDateTimeEdit *>(field))
            time->setDateTime(QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
}

// A write: the fields filled in ("objectName=text"; "=#N" chooses item N of a combo box,
// "frameName=1" ticks a bus row), the button pressed, the requests the unit must receive
// and the reads that follow them.
struct WriteRow {
    const char *name;
    const char *version;
    QStringList fields;
    const char *button;
    QStringList sets;
    QStringList readBack;
};

const char okText[] = "Запись выполнена: Параметры записаны.";

inline QStringList tabTitles(QTabWidget *tabs)
{
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    return titles;
}

// What the settings tabs show, for comparing before and after.
inline QStringList snapshot(const QWidget *window,
                            const QStringList &tabs = {"tabMode", "tabNetwork", "tabPPK",
                                                       "tabInputs", "tabOutputs", "tabFactory"})
{
    QStringList values;
    for (const QString &name : tabs) {
        QWidget *tab = window->findChild<QWidget *>(name);
        for (QLineEdit *edit : tab->findChildren<QLineEdit *>()) {
            if (edit->objectName() != QLatin1String("lineEditCurrentTime") &&
                edit->objectName() != QLatin1String("qt_spinbox_lineedit"))
                values << edit->objectName() + '=' + edit->text();
        }
        for (QComboBox *box : tab->findChildren<QComboBox *>())
            values << box->objectName() + '=' + QString::number(box->currentIndex());
        for (QCheckBox *check : tab->findChildren<QCheckBox *>())
            values << check->parent()->objectName() + '/' + check->objectName() + '=' +
                    QString::number(check->isChecked());
        for (QSpinBox *spin : tab->findChildren<QSpinBox *>())
            values << spin->objectName() + '=' + QString::number(spin->value());
    }
    return values;
}

} // namespace TovikWindowTest

Q_DECLARE_METATYPE(TovikWindowTest::WriteRow)
