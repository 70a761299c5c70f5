#include "devices/toviknetworktab.h"

#include "devices/fieldvalues.h"
#include "devices/tovikpultframe.h"
#include "link/binstatus.h"
#include "link/deviceconfigtable.h"
#include "project/projectwriterules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

template<typename T> T *child(QWidget *form, const char *name)
{
    return form->findChild<T *>(QLatin1String(name));
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("desc_%1[%2]").arg(QLatin1String(name)).arg(index);
}

QList<TovikPultFrame *> makeFrames(QWidget *form, const char *area, const QString &title,
                                   const char *prefix, int count)
{
    QList<TovikPultFrame *> frames;
    QWidget *contents = child<QScrollArea>(form, area)->widget();
    auto *layout = new QVBoxLayout(contents);
    for (int n = 1; n <= count; ++n) {
        auto *frame = new TovikPultFrame(title, n, contents);
        frame->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(n));
        // "labelPultState1", "labelExtBlockState1".
        frame->linkStateLabel()->setObjectName(
            QStringLiteral("label%1State%2").arg(QLatin1String(prefix + 5)).arg(n));
        layout->addWidget(frame);
        frames.append(frame);
    }
    layout->addStretch();
    return frames;
}

} // namespace

TovikNetworkTab::TovikNetworkTab(QWidget *form, QObject *parent)
    : QObject(parent)
    , deviceName(child<QLineEdit>(form, "lineEditDeviceName"))
    , deviceNameLabel(child<QLabel>(form, "labelDeviceName"))
    , rs485Enable(child<QCheckBox>(form, "checkBoxRs485Enable"))
    , devRole(child<QComboBox>(form, "comboBoxDevRole"))
    , macAddr(child<QLineEdit>(form, "lineEditMacAddr"))
{
    macRow = {child<QLabel>(form, "labelMacAddr"), macAddr,
              child<QPushButton>(form, "pushButtonReadMacAddress"),
              child<QPushButton>(form, "pushButtonWriteMacAddress")};
    deviceName->setMaxLength(maxNameLength);
    macAddr->setInputMask(QStringLiteral("HH:HH:HH:HH:HH:HH"));
    consoles =
        makeFrames(form, "scrollAreaPults", QStringLiteral("Пульт"), "framePult", consoleCount);
    extensions = makeFrames(form, "scrollAreaExtBlocks", QStringLiteral("Блок расширения"),
                            "frameExtBlock", extensionCount);
    // Nothing holds a value before the unit gave one.
    for (QWidget *field : {static_cast<QWidget *>(deviceName), static_cast<QWidget *>(rs485Enable),
                           static_cast<QWidget *>(devRole), static_cast<QWidget *>(macAddr)})
        FieldValues::clear(field);
    for (TovikPultFrame *frame : consoles + extensions)
        FieldValues::clear(frame->enableBox());
    connect(rs485Enable, &QCheckBox::stateChanged, this, [this] { updateRs485Controls(); });
    connect(devRole, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { updateRs485Controls(); });
    updateRs485Controls();
    setBuild(0);
}

QStringList TovikNetworkTab::busReads()
{
    QStringList names;
    for (int n = 0; n < consoleCount; ++n)
        names << indexed("Rs485PultEnable", n) << indexed("Rs485PultSerial", n)
              << indexed("Rs485PultStatus", n);
    for (int n = 0; n < extensionCount; ++n)
        names << indexed("ExtBlockRs485Enable", n) << indexed("ExtBlockRs485Serial", n)
              << indexed("ExtBlockRs485Status", n);
    return names;
}

QStringList TovikNetworkTab::rs485Reads(int build)
{
    QStringList names;
    if (build >= newerBuild)
        names << QStringLiteral("desc_DeviceTag");
    names << busReads();
    names << QStringLiteral("desc_Rs485GlobalEnable") << QStringLiteral("desc_Rs485SelfStatus")
          << QStringLiteral("desc_DevRole");
    return names;
}

void TovikNetworkTab::setBuild(int build)
{
    m_build = build;
    const bool newer = build >= newerBuild;
    for (QWidget *widget : qAsConst(macRow))
        widget->setVisible(newer);
    deviceName->setVisible(newer);
    deviceNameLabel->setVisible(newer);
}

int TovikNetworkTab::roleOf(const QString &value)
{
    // Anything but an extension unit's role selects the central unit.
    return qMax(0, DeviceConfigTable::roleIndex(value));
}

bool TovikNetworkTab::show(const QString &name, int index, const QString &value)
{
    if (name == QLatin1String("DeviceTag")) {
        // A name the unit holds is shown as it is, but never one that could not go back.
        if (nameRefusal(value).isEmpty())
            deviceName->setText(value);
        return true;
    }
    if (name == QLatin1String("DevRole")) {
        devRole->setCurrentIndex(roleOf(value));
        return true;
    }
    if (name == QLatin1String("Rs485GlobalEnable")) {
        rs485Enable->setChecked(value == QStringLiteral("вкл"));
        updateRs485Controls();
        return true;
    }
    if (name == QLatin1String("Rs485SelfStatus"))
        return true;
    if (name == QLatin1String("MacAddress")) {
        static const QRegularExpression mac(QStringLiteral("^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$"));
        if (mac.match(value.trimmed()).hasMatch())
            macAddr->setText(value.trimmed().toUpper());
        return true;
    }
    const bool console = name.startsWith(QLatin1String("Rs485Pult"));
    const bool extension = name.startsWith(QLatin1String("ExtBlockRs485"));
    if (!console && !extension)
        return false;
    const QList<TovikPultFrame *> &frames = console ? consoles : extensions;
    TovikPultFrame *frame = frames.value(index);
    const QString field = name.mid(console ? 9 : 13);
    if (!frame)
        return true;
    if (field == QLatin1String("Enable")) {
        frame->setChecked(value == QStringLiteral("да"));
        frame->setUnitEnabled(value == QStringLiteral("да"));
    } else if (field == QLatin1String("Serial"))
        frame->setSerial(value);
    else if (field == QLatin1String("Status"))
        frame->setState(value);
    return true;
}

QString TovikNetworkTab::nameRefusal(const QString &name)
{
    if (name.size() > maxNameLength)
        return QStringLiteral("Имя устройства длиннее %1 символов.").arg(maxNameLength);
    // The rule the project upload applies to the same name.
    if (!ProjectWriteRules::nameProblem(name).isEmpty())
        return QStringLiteral("В имени устройства есть управляющие символы или символы, "
                              "которых нет в кодировке Windows-1251.");
    return QString();
}

bool TovikNetworkTab::rs485Writes(QList<DescriptorWrites::Write> *writes, QString *refusal)
{
    const int role = devRole->currentIndex();
    // Units before build 576 have no name to write; the rows are written from their boxes
    // unless the unit is an extension unit.
    QList<FieldValues::Field> fields;
    if (m_build >= newerBuild)
        fields.append({deviceName, QStringLiteral("Имя устройства")});
    fields.append({rs485Enable, QStringLiteral("Включить RS-485")});
    fields.append({devRole, QStringLiteral("Тип блока")});
    if (role <= 0) {
        for (int n = 0; n < consoles.size(); ++n)
            fields.append({consoles.at(n)->enableBox(), QStringLiteral("Пульт %1").arg(n + 1)});
        for (int n = 0; n < extensions.size(); ++n)
            fields.append(
                {extensions.at(n)->enableBox(), QStringLiteral("Блок расширения %1").arg(n + 1)});
    }
    const QStringList missing = FieldValues::missing(fields);
    if (!missing.isEmpty()) {
        *refusal = FieldValues::incomplete(missing);
        return false;
    }
    if (m_build >= newerBuild) {
        const QString name = deviceName->text();
        const QString reason = nameRefusal(name);
        if (!reason.isEmpty() || name.trimmed().isEmpty()) {
            *refusal =
                QStringLiteral("Параметры не записаны: %1")
                    .arg(reason.isEmpty() ? QStringLiteral("имя устройства не задано.") : reason);
            return false;
        }
        writes->append(
            {QStringLiteral("desc_DeviceTag"), name, QStringLiteral("Имя устройства"), nullptr});
    }
    writes->append({QStringLiteral("desc_Rs485GlobalEnable"),
                    rs485Enable->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                    QStringLiteral("Включить RS-485"), nullptr});
    writes->append({QStringLiteral("desc_DevRole"), QString::number(role),
                    QStringLiteral("Тип блока"), nullptr});
    // An extension unit has no bus of its own: its rows are written off and cleared.
    const bool central = role == 0;
    auto rows = [writes, central](const QList<TovikPultFrame *> &frames, const char *name,
                                  const QString &title) {
        for (int n = 0; n < frames.size(); ++n) {
            TovikPultFrame *frame = frames.at(n);
            if (!central)
                frame->setChecked(false);
            const bool on = central && frame->isChecked();
            writes->append({indexed(name, n), on ? QStringLiteral("1") : QStringLiteral("0"),
                            QStringLiteral("%1 %2").arg(title).arg(n + 1),
                            [frame, on] { frame->setUnitEnabled(on); }});
        }
    };
    rows(consoles, "Rs485PultEnable", QStringLiteral("Пульт"));
    rows(extensions, "ExtBlockRs485Enable", QStringLiteral("Блок расширения"));
    return true;
}

bool TovikNetworkTab::macWrite(QList<DescriptorWrites::Write> *writes, QString *refusal) const
{
    if (m_build < newerBuild) {
        *refusal = QStringLiteral("Параметры не записаны: у прибора этой версии нет MAC-адреса.");
        return false;
    }
    if (!FieldValues::holds(macAddr)) {
        *refusal = FieldValues::incomplete({QStringLiteral("MAC-адрес")});
        return false;
    }
    writes->append({QStringLiteral("desc_MacAddress"), macAddr->text().toUpper(),
                    QStringLiteral("MAC-адрес"), nullptr});
    return true;
}

void TovikNetworkTab::updateRs485Controls()
{
    // A switch not read yet (partly checked) enables nothing.
    const bool on = rs485Enable->checkState() == Qt::Checked;
    const bool central = devRole->currentIndex() == 0;
    devRole->setEnabled(on);
    for (TovikPultFrame *frame : qAsConst(consoles))
        frame->setEnabled(on && central);
    for (TovikPultFrame *frame : qAsConst(extensions))
        frame->setEnabled(on && central);
}

void TovikNetworkTab::showConsoleStates(const TovikStatus &status)
{
    if (!status.valid || !status.hasConsoles)
        return;
    static const char *const texts[] = {"Состояние: ошибка связи", "Состояние: подключен",
                                        "Состояние: отключен", "Состояние: неизвестно"};
    static const char *const colours[] = {"color: red;", "color: green;", "color: gray;",
                                          "color: black;"};
    for (int k = 1; k <= consoleCount; ++k) {
        const int state = TovikStatus::twoBitState(status.consoles, k);
        consoles.at(k - 1)->setLinkState(QString::fromUtf8(texts[state]),
                                         QLatin1String(colours[state]));
    }
}

void TovikNetworkTab::showBinStatus(const BinStatus &status)
{
    if (!status.valid)
        return;
    // By what the unit holds, not by a box ticked and not written yet.
    auto show = [](TovikPultFrame *frame, int fault) {
        if (frame->unitEnabled() < 0)
            return;
        if (frame->unitEnabled() == 0)
            frame->setState(QStringLiteral("отключено"));
        else if (fault >= 0)
            frame->setState(fault ? QStringLiteral("ошибка связи") : QStringLiteral("подключено"));
    };
    for (int k = 0; k < consoleCount; ++k)
        show(consoles.at(k), status.consoleFault(k));
    for (int j = 0; j < extensionCount; ++j)
        show(extensions.at(j), status.extensionFault(j));
}
