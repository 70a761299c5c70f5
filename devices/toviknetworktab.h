#pragma once

#include "devices/descriptorwrites.h"
#include "link/tovikstatus.h"
#include "project/projectwriterules.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class BinStatus;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;
class TovikPultFrame;

// The "Сеть приборов" tab of the central unit window apart from Ethernet: the device name,
// the RS-485 switch, the unit's role on the bus and the rows of its 32 consoles and 9
// extension units, and the MAC address row. It shows descriptor answers, keeps the RS-485
// controls enabled as the switch and role allow, and composes the writes of its groups.
class TovikNetworkTab : public QObject {
    Q_OBJECT

public:
    static constexpr int consoleCount = 32;
    static constexpr int extensionCount = 9;
    // The longest device name the unit keeps.
    static constexpr int maxNameLength = ProjectWriteRules::maxNameLength;
    // Firmware builds from this one have the MAC address, the device name, the remote
    // polarity and the BUU-2 descriptors.
    static constexpr int newerBuild = TovikStatus::newerDescriptorsBuild;

    explicit TovikNetworkTab(QWidget *form, QObject *parent = nullptr);

    // The descriptor triples of the consoles and the extension units, in read-all order.
    static QStringList busReads();
    // What "Прочитать" of the RS-485 group reads (the name only from `build` 576 on).
    static QStringList rs485Reads(int build);

    // Shows or hides the rows the firmware build has (MAC address, device name).
    void setBuild(int build);
    int build() const { return m_build; }

    // Shows a (good) descriptor answer; false when the name is none of this tab's.
    bool show(const QString &name, int index, const QString &value);
    // The role of a "DevRole" answer: 0 the central unit, 1-9 extension unit n.
    static int roleOf(const QString &value);

    // The writes of "Записать" (RS-485 group); false, with the reason, when a field is not
    // one the unit can take.
    bool rs485Writes(QList<DescriptorWrites::Write> *writes, QString *refusal);
    bool macWrite(QList<DescriptorWrites::Write> *writes, QString *refusal) const;
    // Why a device name cannot be written; empty when it can.
    static QString nameRefusal(const QString &name);

    TovikPultFrame *console(int n) const { return consoles.value(n); }
    TovikPultFrame *extension(int n) const { return extensions.value(n); }

    void updateRs485Controls();

    // The console states of a status answer (field 11) in the consoles' state labels.
    void showConsoleStates(const TovikStatus &status);
    // The faults of a "BINSTATUS" answer in the state fields of the enabled rows; a row not
    // enabled shows "отключено", and a bit the answer is too short for changes nothing.
    void showBinStatus(const BinStatus &status);

private:
    QLineEdit *deviceName;
    QWidget *deviceNameLabel;
    QCheckBox *rs485Enable;
    QComboBox *devRole;
    QLineEdit *macAddr;
    QList<QWidget *> macRow;
    QList<TovikPultFrame *> consoles;
    QList<TovikPultFrame *> extensions;
    int m_build = 0;
};
