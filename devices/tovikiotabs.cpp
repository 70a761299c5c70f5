#include "devices/tovikiotabs.h"

#include "devices/fieldvalues.h"
#include "link/deviceconfigtable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace {

template<typename T> T *child(QWidget *form, const QString &name)
{
    return form->findChild<T *>(name);
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("desc_%1[%2]").arg(QLatin1String(name)).arg(index);
}

QString assignName(int signal)
{
    return QStringLiteral("OutputAssign%1").arg(signal, 2, 10, QLatin1Char('0'));
}

// The refusal of a write with fields that hold no value; empty when all hold one.
QString incomplete(const QList<FieldValues::Field> &fields)
{
    const QStringList missing = FieldValues::missing(fields);
    return missing.isEmpty() ? QString() : FieldValues::incomplete(missing);
}

const char *const inputTitles[] = {"Вход 1", "Вход 2", "Вход управления"};
const char *const outputTitles[] = {"Выход 1", "Выход 2", "Выход управления"};

} // namespace

TovikIoTabs::TovikIoTabs(QWidget *form)
{
    for (int n = 0; n < ppkCount; ++n) {
        ppkBoxes[size_t(n)] =
            child<QComboBox>(form, QStringLiteral("comboBoxPpkCtrlEnable_%1").arg(n + 1));
        ppkLabels[size_t(n)] = child<QLabel>(form, QStringLiteral("labelPpkStatus_%1").arg(n + 1));
    }
    for (int n = 0; n < inputCount; ++n) {
        inputStates[size_t(n)] =
            child<QLineEdit>(form, QStringLiteral("lineInputState%1").arg(n + 1));
        inputControls[size_t(n)] =
            child<QComboBox>(form, QStringLiteral("comboInputCtrlEnable%1").arg(n + 1));
    }
    for (int k = 0; k < outputCount; ++k) {
        outputStates[size_t(k)] =
            child<QLineEdit>(form, QStringLiteral("lineOutputState%1").arg(k + 1));
        outputPolarities[size_t(k)] =
            child<QComboBox>(form, QStringLiteral("comboBoxOutputPolarity%1").arg(k + 1));
        for (int s = 0; s < assignCount; ++s)
            assigns[size_t(k)][size_t(s)] = child<QCheckBox>(
                form,
                QStringLiteral("checkOutputAssign%1_%2").arg(s, 2, 10, QLatin1Char('0')).arg(k));
    }
    // Nothing holds a value before the unit gave one.
    QList<QWidget *> fields;
    for (QComboBox *box : ppkBoxes)
        fields << box;
    for (QComboBox *box : inputControls)
        fields << box;
    for (int k = 0; k < outputCount; ++k) {
        fields << outputPolarities[size_t(k)];
        for (QCheckBox *box : assigns[size_t(k)])
            fields << box;
    }
    for (QWidget *field : qAsConst(fields))
        FieldValues::clear(field);
}

QStringList TovikIoTabs::ppkReads()
{
    QStringList names;
    for (int n = 0; n < ppkCount; ++n)
        names << indexed("PpkCtrlEnable", n);
    return names;
}

QStringList TovikIoTabs::inputReads(int n)
{
    return {indexed("InputCtrlState", n), indexed("InputCtrlEnable", n)};
}

QStringList TovikIoTabs::inputStateReads()
{
    QStringList names;
    for (int n = 0; n < inputCount; ++n)
        names << indexed("InputCtrlState", n);
    return names;
}

QStringList TovikIoTabs::outputStateReads()
{
    QStringList names;
    for (int k = 0; k < outputCount; ++k)
        names << indexed("OutputState", k);
    return names;
}

QStringList TovikIoTabs::outputReads(int k)
{
    QStringList names {indexed("OutputState", k), indexed("OutputPolarity", k)};
    for (int s = 0; s < assignCount; ++s)
        names << QStringLiteral("desc_%1[%2]").arg(assignName(s)).arg(k);
    return names;
}

bool TovikIoTabs::ppkWrites(QList<DescriptorWrites::Write> *writes, QString *refusal) const
{
    QList<FieldValues::Field> fields;
    for (int n = 0; n < ppkCount; ++n)
        fields.append({ppkBoxes[size_t(n)], QStringLiteral("Контроль ППК %1").arg(n + 1)});
    *refusal = incomplete(fields);
    if (!refusal->isEmpty())
        return false;
    for (int n = 0; n < ppkCount; ++n) {
        const bool on = ppkBoxes[size_t(n)]->currentIndex() == 1;
        writes->append({indexed("PpkCtrlEnable", n),
                        on ? QStringLiteral("да") : QStringLiteral("нет"), fields.at(n).label,
                        nullptr});
    }
    return true;
}

bool TovikIoTabs::inputWrites(int n, QList<DescriptorWrites::Write> *writes, QString *refusal) const
{
    const QString label = QStringLiteral("%1: Контроль").arg(QString::fromUtf8(inputTitles[n]));
    *refusal = incomplete({{inputControls[size_t(n)], label}});
    if (!refusal->isEmpty())
        return false;
    const int index = inputControls[size_t(n)]->currentIndex();
    writes->append({indexed("InputCtrlEnable", n), QString::number(index), label, nullptr});
    return true;
}

bool TovikIoTabs::outputWrites(int k, QList<DescriptorWrites::Write> *writes,
                               QString *refusal) const
{
    const QString title = QString::fromUtf8(outputTitles[k]);
    const QString label = QStringLiteral("%1: Полярность").arg(title);
    QList<FieldValues::Field> fields {{outputPolarities[size_t(k)], label}};
    for (const QCheckBox *box : assigns[size_t(k)])
        fields.append({box, QStringLiteral("%1: %2").arg(title, box->text())});
    *refusal = incomplete(fields);
    if (!refusal->isEmpty())
        return false;
    const int polarity = outputPolarities[size_t(k)]->currentIndex();
    writes->append({indexed("OutputPolarity", k), QString::number(polarity), label, nullptr});
    for (int s = 0; s < assignCount; ++s) {
        const QCheckBox *box = assigns[size_t(k)][size_t(s)];
        writes->append({QStringLiteral("desc_%1[%2]").arg(assignName(s)).arg(k),
                        box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                        fields.at(s + 1).label, nullptr});
    }
    return true;
}

bool TovikIoTabs::show(const QString &name, int index, const QString &value)
{
    if (name == QLatin1String("PpkCtrlEnable")) {
        if (index >= 0 && index < ppkCount) {
            // Only the two answers the unit gives select anything.
            if (value == QStringLiteral("да"))
                ppkBoxes[size_t(index)]->setCurrentIndex(1);
            else if (value == QStringLiteral("нет"))
                ppkBoxes[size_t(index)]->setCurrentIndex(0);
        }
        return true;
    }
    if (name == QLatin1String("InputCtrlState")) {
        if (index >= 0 && index < inputCount)
            inputStates[size_t(index)]->setText(value);
        return true;
    }
    if (name == QLatin1String("InputCtrlEnable")) {
        if (index >= 0 && index < inputCount) {
            if (value == QStringLiteral("да"))
                inputControls[size_t(index)]->setCurrentIndex(1);
            else if (value == QStringLiteral("нет"))
                inputControls[size_t(index)]->setCurrentIndex(0);
        }
        return true;
    }
    if (name == QLatin1String("OutputState")) {
        if (index >= 0 && index < outputCount)
            outputStates[size_t(index)]->setText(value);
        return true;
    }
    if (name == QLatin1String("OutputPolarity")) {
        if (index >= 0 && index < outputCount)
            outputPolarities[size_t(index)]->setCurrentIndex(
                DeviceConfigTable::outputPolarityIndex(value));
        return true;
    }
    if (name.startsWith(QLatin1String("OutputAssign")) && name.size() == 14) {
        bool ok = false;
        const int signal = name.midRef(12).toInt(&ok);
        if (ok && signal >= 0 && signal < assignCount && index >= 0 && index < outputCount)
            assigns[size_t(index)][size_t(signal)]->setChecked(value == QLatin1String("+"));
        return true;
    }
    return false;
}

void TovikIoTabs::showPpkStates(quint64 states)
{
    // Every status answer comes here: a label changes only when its state does (a new
    // style sheet costs a style pass of the label each time).
    auto show = [](QLabel *label, const QString &text, const QString &style) {
        if (label->text() != text)
            label->setText(text);
        if (label->styleSheet() != style)
            label->setStyleSheet(style);
    };
    for (int n = 0; n < ppkCount; ++n) {
        QLabel *label = ppkLabels[size_t(n)];
        switch ((states >> (2 * n)) & 3u) {
        case 0:
            show(label, QStringLiteral("Состояние: норма"), QStringLiteral("color: green;"));
            break;
        case 1:
            show(label, QStringLiteral("Состояние: сигнал пожара"), QStringLiteral("color: red;"));
            break;
        case 2:
            show(label, QStringLiteral("Состояние: ошибка линии"), QStringLiteral("color: red;"));
            break;
        default:
            break;
        }
    }
}
