#pragma once

// Helpers of the central unit and four-line unit window tests: descriptor names, the unit's
// polls, what the settings tabs show.

#include "devicewindowtest.h"

#include <QCheckBox>
#include <QComboBox>
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

// The requests of a log that are not polls.
inline QStringList withoutPolls(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line != QLatin1String("GET STATUS") && line != QLatin1String("GET BINSTATUS") &&
            line != QLatin1String("GET LO_CURRENT_VALUES") &&
            !line.startsWith(QLatin1String("GET DESCRIPTOR desc_InputCtrlState")) &&
            !line.startsWith(QLatin1String("GET DESCRIPTOR desc_OutputState")))
            lines << line;
    }
    return lines;
}

// The unit has been read completely since `from` requests into its log (polls aside).
inline bool waitUnitRead(SimHarness *harness, DeviceWindowTest::Rig *rig, int from = 0,
                         int ms = 10000)
{
    return QTest::qWaitFor(
        [&] {
            if (!rig->window || !rig->window->isIdentified())
                return false;
            const QStringList log = withoutPolls(harness->requestLog(rig->sim).mid(from));
            return !log.isEmpty() && log.last() == QLatin1String("SET FILE_CLOSE") &&
                !rig->window->facade()->isFileTransferPending() &&
                rig->window->facade()->readListSize() == 0;
        },
        ms);
}

// A write: the fields filled in (as fill() takes them), the button pressed, the
// descriptors the unit must receive ("Name value") and those read back after them.
struct WriteRow {
    const char *name;
    const char *version;
    QStringList fields;
    const char *button;
    QStringList sets;
    QStringList readBack;
};

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
