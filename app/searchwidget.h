#pragma once

#include <QPointer>
#include <QWidget>

class DeviceListModel;
class ProjectDevice;
class ProjectModel;
class ProjectTreeView;
class QComboBox;
class QCompleter;
class QModelIndex;
class QPushButton;

// The device search frame of the main window: an editable text box whose completer lists
// the devices whose description contains the typed text (DeviceListModel), and a button
// that closes the frame. Choosing a device, in the completer's list or in the box's own
// list, announces it with deviceSelected(); the frame itself selects nothing.
//
// The lists are taken from the project when the frame is made: devices added later are
// not offered, and a device deleted since is neither offered nor announced.
class SearchWidget : public QWidget {
    Q_OBJECT

public:
    SearchWidget(ProjectModel *project, QWidget *parent = nullptr);

    ProjectModel *project() const { return m_project; }
    QComboBox *comboBox() const { return m_comboBox; }
    QCompleter *completer() const { return m_completer; }

signals:
    void closeFrame();
    void deviceSelected(ProjectDevice *device);

public slots:
    void on_comboBoxIndexChanged(int index);
    void on_pushButtonCloseFrameClicked();
    void on_comboCurrentIndexChanged(int index);
    // Takes the lists again from a project (the same one after a change, or another).
    void on_projectUpdate(ProjectModel *project);

private slots:
    void onCompleterActivated(const QModelIndex &index);

private:
    QPointer<ProjectModel> m_project;
    // One list each for the completer, for the completer's pop-up view and for the box.
    DeviceListModel *m_completerModel = nullptr;
    DeviceListModel *m_popupModel = nullptr;
    DeviceListModel *m_comboModel = nullptr;
    QCompleter *m_completer = nullptr;
    ProjectTreeView *m_popupView = nullptr;
    QComboBox *m_comboBox = nullptr;
    QPushButton *m_closeButton = nullptr;
};
