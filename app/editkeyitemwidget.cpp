#include "app/editkeyitemwidget.h"

#include "project/inout.h"
#include "project/projectdevice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EditKeyItemWidget::EditKeyItemWidget(const QString &label, ProjectModel *project,
                                     ProjectDevice *device, const QList<ProjectDevice *> &available,
                                     const OutLink &link, QWidget *parent)
    : QWidget(parent)
    , m_project(project)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto *row = new QHBoxLayout;
    column->addLayout(row);
    row->addWidget(new QLabel(label, this));
    m_deviceBox = new QComboBox(this);
    m_deviceBox->setObjectName(QStringLiteral("comboBoxDevice"));
    m_deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(m_deviceBox);
    auto *remove = new QPushButton(QStringLiteral("Удалить"), this);
    remove->setObjectName(QStringLiteral("pushButtonDelete"));
    remove->setMaximumWidth(180);
    remove->setAutoDefault(false);
    row->addWidget(remove);
    m_outputsLayout = new QHBoxLayout;
    row->addLayout(m_outputsLayout);
    row->addStretch(1);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);

    if (device)
        m_deviceBox->addItem(deviceCaption(device), QVariant::fromValue(device));
    for (ProjectDevice *each : available) {
        if (each != device)
            m_deviceBox->addItem(deviceCaption(each), QVariant::fromValue(each));
    }
    m_deviceBox->setCurrentIndex(m_deviceBox->count() > 0 ? 0 : -1);
    // The link's outputs are only meaningful on the device the link names.
    rebuildOutputs(device ? link.indexes : QList<int>());

    connect(m_deviceBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &EditKeyItemWidget::on_currentDeviceIndexChanged);
    connect(remove, &QPushButton::clicked, this, &EditKeyItemWidget::on_deleteButtonClicked);
}

ProjectDevice *EditKeyItemWidget::chosenDevice() const
{
    return m_deviceBox->currentData().value<ProjectDevice *>();
}

OutLink EditKeyItemWidget::link() const
{
    OutLink result;
    ProjectDevice *device = chosenDevice();
    if (!device)
        return result;
    result.id_obj = device->id_obj;
    for (const QCheckBox *box : m_outputBoxes) {
        if (box->isChecked())
            result.indexes.append(box->property("inout_index").toInt());
    }
    return result;
}

void EditKeyItemWidget::setAvailableDevices(const QList<ProjectDevice *> &available)
{
    ProjectDevice *own = chosenDevice();
    {
        const QSignalBlocker blocker(m_deviceBox);
        m_deviceBox->clear();
        if (own)
            m_deviceBox->addItem(deviceCaption(own), QVariant::fromValue(own));
        for (ProjectDevice *each : available) {
            if (each != own)
                m_deviceBox->addItem(deviceCaption(each), QVariant::fromValue(each));
        }
        m_deviceBox->setCurrentIndex(m_deviceBox->count() > 0 ? 0 : -1);
    }
    if (chosenDevice() != own)
        rebuildOutputs(QList<int>());
}

void EditKeyItemWidget::rebuildOutputs(const QList<int> &checked)
{
    qDeleteAll(m_outputBoxes);
    m_outputBoxes.clear();
    ProjectDevice *device = chosenDevice();
    if (!device)
        return;
    for (const InOut *io : qAsConst(device->inouts)) {
        if (io->type != InOutType::LineOutput)
            continue;
        auto *box = new QCheckBox(io->displayName(), this);
        box->setProperty("inout_index", io->index);
        box->setChecked(checked.contains(io->index));
        m_outputsLayout->addWidget(box);
        m_outputBoxes.append(box);
    }
}

void EditKeyItemWidget::on_currentDeviceIndexChanged(int index)
{
    Q_UNUSED(index)
    rebuildOutputs(QList<int>());
    emit chosenDeviceChanged();
}

void EditKeyItemWidget::on_deleteButtonClicked(bool clicked)
{
    Q_UNUSED(clicked)
    emit deleteButtonClicked(this);
}
