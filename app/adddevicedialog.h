#pragma once

#include <QDialog>

class ProjectDevice;
class ProjectGroup;
class ProjectModel;

namespace Ui {
class FormAddDeviceManual;
}

// Creates a device for the project, or edits one, and chooses its group. Without a
// device it adds; with a device it edits that device in place when accepted. The caller
// adds or moves the device afterwards.
class AddDeviceDialog : public QDialog {
    Q_OBJECT

public:
    AddDeviceDialog(ProjectModel *project, ProjectGroup *group, ProjectDevice *device,
                    QWidget *parent = nullptr);
    ~AddDeviceDialog() override;

    bool isAccepted() const { return m_accepted; }
    // The new device (adding, not owned by anyone until the caller adds it) or the edited
    // one; null until accepted when adding.
    ProjectDevice *device() const { return m_result; }
    // The group chosen in the dialog, or null for "Без группы".
    ProjectGroup *group() const;

public slots:
    void on_pushButtonAddDevice_clicked();
    void on_pushButtonCansel_clicked();
    void on_checkBoxRs485Enable_stateChanged(int state);
    void on_checkBoxEthernetEnable_stateChanged(int state);
    void on_comboBoxDeviceType_currentIndexChanged(int index);

private:
    void layoutForType(int type);
    void fillBusItems(int type);
    void fillFromDevice(const ProjectDevice *device);
    void selectKeysCount(int count);
    int selectedType() const;

    Ui::FormAddDeviceManual *ui;
    ProjectModel *m_project = nullptr;
    ProjectGroup *m_group = nullptr;
    ProjectDevice *m_device = nullptr;
    ProjectDevice *m_result = nullptr;
    bool m_accepted = false;
    // Which items the bus box holds: central unit roles or console addresses.
    enum class BusItems { None, Units, Consoles } m_busItems = BusItems::None;
};
