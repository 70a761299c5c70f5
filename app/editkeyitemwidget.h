#pragma once

#include "project/outlink.h"

#include <QList>
#include <QWidget>

class ProjectDevice;
class ProjectModel;
class QCheckBox;
class QComboBox;
class QHBoxLayout;

// One target row of the key dialog: a device choice and one check box per line output
// of the chosen device. The check boxes carry the output's index in "inout_index".
class EditKeyItemWidget : public QWidget {
    Q_OBJECT

public:
    EditKeyItemWidget(const QString &label, ProjectModel *project, ProjectDevice *device,
                      const QList<ProjectDevice *> &available, const OutLink &link,
                      QWidget *parent = nullptr);

    ProjectDevice *chosenDevice() const;
    // The chosen device's identifier and the indexes of the checked outputs, in box order.
    OutLink link() const;

    // Offers the row's own device followed by the given devices; a row without a device
    // takes the first of them.
    void setAvailableDevices(const QList<ProjectDevice *> &available);

    QComboBox *deviceBox() const { return m_deviceBox; }
    QList<QCheckBox *> outputBoxes() const { return m_outputBoxes; }

signals:
    void deleteButtonClicked(QWidget *object);
    // The user chose another device; the other rows' choices must follow.
    void chosenDeviceChanged();

public slots:
    void on_currentDeviceIndexChanged(int index);
    void on_deleteButtonClicked(bool clicked);

private:
    void rebuildOutputs(const QList<int> &checked);

    ProjectModel *m_project = nullptr;
    QComboBox *m_deviceBox = nullptr;
    QHBoxLayout *m_outputsLayout = nullptr;
    QList<QCheckBox *> m_outputBoxes;
};
