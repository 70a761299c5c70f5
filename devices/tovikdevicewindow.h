#pragma once

#include "devices/audiodevicewindow.h"

#include <memory>

class TovikIoTabs;
class TovikLinesTab;
class TovikJournalTab;
class TovikNetworkTab;
class TovikScreenTab;
class TovikStateTab;

namespace Ui {
class TovikDeviceForm;
}

// The settings window of a central switching unit or extension unit (types 1, 2, 3, 10):
// operating mode and clock, device name, RS-485 bus with its consoles and extension units,
// Ethernet and MAC address, fire-panel (PPK) inputs, control inputs and outputs, factory
// settings and the audio files with the unit's five signals. The audio files, the Ethernet
// group, the serial number, the write lists and the status poll are the audio windows'
// (AudioDeviceWindow); this class adds the unit's own groups.
//
// Every connection re-reads everything; the descriptors the unit's firmware build lacks
// (below 576: MAC address, device name, remote polarity, BUU-2) are neither read, shown
// nor written. Besides the status, the 1 s timer reads the input and output states (every
// second while their tab is shown, every fifth second otherwise), one request of each kind
// outstanding and none while a list read or a file transfer runs.
class TovikDeviceWindow : public AudioDeviceWindow {
    Q_OBJECT

public:
    TovikDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~TovikDeviceWindow() override;

    // The firmware build of the connected unit (third part of its version); 0 before the
    // first connection.
    int firmwareBuild() const { return build; }
    // The "Прочитать всё" list of a firmware build.
    static QStringList readAllNames(int build);

    void on_pushButtonReadModeSettings_clicked();
    void on_pushButtonWriteModeSettings_clicked();
    void on_pushButtonWriteTime_clicked();
    void on_pushButtonSynchroTime_clicked();
    void on_pushButtonReadMacAddress_clicked();
    void on_pushButtonWriteMacAddress_clicked();
    void on_pushButtonReadRs485_clicked();
    void on_pushButtonWriteRs485_clicked();
    void on_pushButtonReadAllPpk_clicked();
    void on_pushButtonWriteAllPpk_clicked();
    void on_pushButtonReadInput_clicked(int n);
    void on_pushButtonWriteInput_clicked(int n);
    void on_pushButtonReadOutput_clicked(int k);
    void on_pushButtonWriteOutput_clicked(int k);
    void on_pushButtonReadAudioInGain_clicked();
    void on_pushButtonWriteAudioInGain_clicked();
    void on_pushButtonReadRemotePolarity_clicked();
    void on_pushButtonWriteRemotePolarity_clicked();
    void on_pushButtonReadBuu2Enable_clicked();
    void on_pushButtonWriteBuu2Enable_clicked();
    void on_pushButtonInitByDefault_clicked();
    void on_hasConfigDiff_changed(bool diff);

    void on_amoduleConnected(int dev_type, QString fullver) override;
    void on_amoduleDisconnected() override;
    void on_receivedDescriptor(QString descname, QVariant value, int index, int err) override;
    void on_receivedParam(QString paramname, QString value, int err) override;

protected:
    // The four-line unit's window shares the form and the input, output and factory groups.
    struct Variant {
        bool lumo = false;
    };
    TovikDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context,
                      const Variant &variant);

    QStringList readAllList() const override;
    void pollDevice() override;
    QStringList serialReads() const override;

    Ui::TovikDeviceForm *ui;
    TovikIoTabs *io = nullptr;

private:
    void abortExchange() override;
    void setUpJournalTab();
    void setUpTovikForm();
    void connectButtons();
    void applyAccess();
    void applyMonitoringForm();
    void applyBuild();
    void showTovikStatus(const QString &value);
    // Mode: the last answer is applied again once the BUU-2 flag is known.
    void showMode();
    void setBuu2(bool on);
    // Reads, while linked: one descriptor, or a list.
    void readList(const QStringList &names);
    // Sends a write list, then reads `readBack`.
    void writeThenRead(const QList<DescriptorWrites::Write> &writes, const QStringList &readBack);
    void writeTime(const QDateTime &time);
    // Reads one group of states if due: one outstanding at a time.
    void pollStates(int *outstanding, int *counter, const QStringList &names, QWidget *tab);
    bool tabShown(QWidget *tab) const;

    Variant variant;
    TovikNetworkTab *network = nullptr;
    TovikScreenTab *screen = nullptr;
    TovikLinesTab *lines = nullptr;
    TovikStateTab *state = nullptr;
    TovikJournalTab *journal = nullptr;
    int build = 0;
    bool buu2 = false;
    bool buu2Known = false;
    QString lastMode;
    bool binStatusOutstanding = false;
    int inputPollsOutstanding = 0;
    int outputPollsOutstanding = 0;
    int inputPollCounter = 0;
    int outputPollCounter = 0;
};
