#include "app/editkeydialog.h"
#include "ui_editkeydialog.h"

#include "app/editkeyitemwidget.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QPushButton>

EditKeyDialog::EditKeyDialog(ProjectModel *project, InOut *key, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::EditKeyDialog)
    , m_project(project)
    , m_key(key)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, true);
    setWindowTitle(QStringLiteral("Настройка кнопки ") + (m_key ? m_key->description : QString()));
    if (m_key) {
        connect(m_key, &QObject::destroyed, this, &QDialog::reject);
        ui->lineEditKeyName->setText(m_key->name);
        // Links to one device are shown in one row, so that no device appears twice.
        const QList<OutLink> links = mergeLinks(m_key->outlinks);
        for (const OutLink &link : links)
            addRow(m_project ? m_project->findDeviceById(link.id_obj) : nullptr, link);
    }
    refreshRows();
}

EditKeyDialog::~EditKeyDialog()
{
    delete ui;
}

QList<OutLink> EditKeyDialog::mergeLinks(const QList<OutLink> &links)
{
    QList<OutLink> merged;
    for (const OutLink &link : links) {
        if (link.indexes.isEmpty())
            continue;
        auto existing = std::find_if(merged.begin(), merged.end(), [&](const OutLink &each) {
            return each.id_obj == link.id_obj;
        });
        if (existing == merged.end()) {
            OutLink copy;
            copy.id_obj = link.id_obj;
            for (int index : link.indexes) {
                if (!copy.indexes.contains(index))
                    copy.indexes.append(index);
            }
            merged.append(copy);
            continue;
        }
        for (int index : link.indexes) {
            if (!existing->indexes.contains(index))
                existing->indexes.append(index);
        }
    }
    return merged;
}

ProjectDevice *EditKeyDialog::keyOwner() const
{
    return m_key ? qobject_cast<ProjectDevice *>(m_key->parent()) : nullptr;
}

EditKeyItemWidget *EditKeyDialog::addRow(ProjectDevice *device, const OutLink &link)
{
    auto *row = new EditKeyItemWidget(QStringLiteral("Устройство:"), m_project, device,
                                      QList<ProjectDevice *>(), link, ui->scrollAreaWidgetContents);
    // Rows go above the stretch that closes the list.
    ui->verticalLayoutDevices->insertWidget(m_rows.size(), row);
    m_rows.append(row);
    connect(row, &EditKeyItemWidget::deleteButtonClicked, this,
            &EditKeyDialog::on_deleteDevice_clicked);
    connect(row, &EditKeyItemWidget::chosenDeviceChanged, this, &EditKeyDialog::refreshRows);
    return row;
}

void EditKeyDialog::refreshRows()
{
    QList<ProjectDevice *> candidates;
    if (m_project) {
        ProjectDevice *owner = keyOwner();
        for (ProjectDevice *device : m_project->allDevices()) {
            if (device != owner)
                candidates.append(device);
        }
    }
    QList<ProjectDevice *> used;
    for (EditKeyItemWidget *row : qAsConst(m_rows)) {
        ProjectDevice *chosen = row->chosenDevice();
        if (chosen && candidates.contains(chosen) && !used.contains(chosen))
            used.append(chosen);
    }
    QList<ProjectDevice *> available;
    for (ProjectDevice *device : qAsConst(candidates)) {
        if (!used.contains(device))
            available.append(device);
    }
    // A row without a device takes the first free one; it is then no longer free.
    for (EditKeyItemWidget *row : qAsConst(m_rows)) {
        if (row->chosenDevice())
            continue;
        row->setAvailableDevices(available);
        if (ProjectDevice *taken = row->chosenDevice())
            available.removeOne(taken);
    }
    for (EditKeyItemWidget *row : qAsConst(m_rows))
        row->setAvailableDevices(available);
    ui->pushButtonAddDevice->setEnabled(!available.isEmpty());
}

void EditKeyDialog::on_pushButtonAddDevice_clicked()
{
    if (!ui->pushButtonAddDevice->isEnabled())
        return;
    addRow(nullptr, OutLink());
    refreshRows();
}

void EditKeyDialog::on_deleteDevice_clicked(QWidget *widget)
{
    auto *row = qobject_cast<EditKeyItemWidget *>(widget);
    if (!row || !m_rows.removeOne(row))
        return;
    // The row asked for its own removal from one of its slots: take it out of the list
    // now, delete it once that slot has returned.
    ui->verticalLayoutDevices->removeWidget(row);
    row->hide();
    row->deleteLater();
    refreshRows();
}

void EditKeyDialog::on_buttonBox_accepted()
{
    qDebug().noquote() << "EditKeyDialog::on_buttonBox_accepted()";
    if (m_key) {
        QList<OutLink> links;
        for (const EditKeyItemWidget *row : qAsConst(m_rows))
            links.append(row->link());
        links = mergeLinks(links);
        const QString name = ui->lineEditKeyName->text();
        if (name != m_key->name || links != m_key->outlinks) {
            m_key->name = name;
            m_key->outlinks = links;
            if (m_project)
                m_project->modified = true;
        }
    }
    accept();
}

void EditKeyDialog::on_buttonBox_rejected()
{
    qDebug().noquote() << "EditKeyDialog::on_buttonBox_rejected()";
    reject();
}
