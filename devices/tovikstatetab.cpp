#include "devices/tovikstatetab.h"

#include "devices/portstatuscontainer.h"
#include "link/amodule.h"
#include "link/tovikstatus.h"

#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {

PortStatusContainer *lampRow(QWidget *form, const char *group, const char *name)
{
    auto *box = form->findChild<QGroupBox *>(QLatin1String(group));
    auto *row = new PortStatusContainer(box);
    row->setObjectName(QLatin1String(name));
    box->layout()->addWidget(row);
    return row;
}

// A lamp of an input or a line: red while it is activated, yellow while its state is not
// normal, grey otherwise.
void showRow(PortStatusContainer *row, quint64 states, quint64 active)
{
    for (int n = 1; n <= PortStatusContainer::lampCount; ++n) {
        PortStatusContainer::Colour colour = PortStatusContainer::Gray;
        if ((active >> (n - 1)) & 1u)
            colour = PortStatusContainer::Red;
        else if (TovikStatus::twoBitState(states, n) != 0)
            colour = PortStatusContainer::Yellow;
        row->setLamp(n, colour);
    }
}

} // namespace

const QString TovikStateTab::noLinkText = QStringLiteral("нет связи");

TovikStateTab::TovikStateTab(QWidget *form, const Writer &writer, QObject *parent)
    : QObject(parent)
    , write(writer)
    , appStatus(form->findChild<QLineEdit *>(QStringLiteral("lineEditAppStatus")))
    , zummerOff(form->findChild<QPushButton *>(QStringLiteral("pushButtonZummerOff")))
    , reset(form->findChild<QPushButton *>(QStringLiteral("pushButtonTovikReset")))
    , fire(lampRow(form, "groupBoxFireLamps", "portStatusFire"))
    , lines(lampRow(form, "groupBoxLineLamps", "portStatusLines"))
    , automatics(lampRow(form, "groupBoxAutoLamps", "portStatusAuto"))
{
    connect(zummerOff, &QPushButton::clicked, this, [this] { on_pushButtonZummerOff_clicked(); });
    connect(reset, &QPushButton::clicked, this, [this] { on_pushButtonTovikReset_clicked(); });
    setConnected(false);
}

void TovikStateTab::setConnected(bool connected)
{
    zummerOff->setEnabled(connected);
    reset->setEnabled(connected);
    // Only what a status answer of this link carries is shown: nothing until the first,
    // and without a link no state at all.
    appStatus->setText(connected ? QString() : noLinkText);
    for (PortStatusContainer *row : {fire, lines, automatics})
        row->setMask(0);
}

bool TovikStateTab::automaticsOff(int code)
{
    return (code >= 1 && code <= 4) || code == 8 || code == 9;
}

void TovikStateTab::showStatus(const TovikStatus &status)
{
    if (!status.valid || !status.hasLines || !status.hasPpk || !status.hasState)
        return;
    appStatus->setText(Amodule::inputStateText(status.state));
    showRow(fire, status.ppk, status.ppkActive);
    showRow(lines, status.lines, status.linesActive);
    automatics->setMask(automaticsOff(status.state) ? 0xFF : 0);
}

void TovikStateTab::on_pushButtonZummerOff_clicked()
{
    write({{QStringLiteral("desc_Zummer_enabled"), QStringLiteral("0"),
            QStringLiteral("Отключить зуммер"), nullptr}},
          QStringLiteral("Зуммер отключен."));
}

void TovikStateTab::on_pushButtonTovikReset_clicked()
{
    // The facade puts "desc_" in front; the name as the unit reports it back has it.
    write({{QStringLiteral("desc_Tovik2Reset"), QStringLiteral("1"), QStringLiteral("Сброс"),
            nullptr}},
          QStringLiteral("Прибор сброшен."));
}
