#pragma once

#include "project/outlink.h"

#include <QDialog>
#include <QList>
#include <QPointer>

class EditKeyItemWidget;
class InOut;
class ProjectDevice;
class ProjectModel;

namespace Ui {
class EditKeyDialog;
}

// Names a console button and chooses the line outputs of other devices it switches.
// Every target device appears in at most one row; accepting writes the name and the
// merged links into the key. A key that goes while the dialog is open (a console's
// reply takes buttons away) closes the dialog as cancelled.
class EditKeyDialog : public QDialog {
    Q_OBJECT

public:
    EditKeyDialog(ProjectModel *project, InOut *key, QWidget *parent = nullptr);
    ~EditKeyDialog() override;

    QList<EditKeyItemWidget *> rows() const { return m_rows; }

    // Drops links without outputs and joins links to one device, keeping first-seen order.
    static QList<OutLink> mergeLinks(const QList<OutLink> &links);

public slots:
    void on_pushButtonAddDevice_clicked();
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();

public:
    // Removes a target row; connected to each row's deleteButtonClicked(). A plain member
    // function, so that the form's connection by name does not look for a "deleteDevice".
    void on_deleteDevice_clicked(QWidget *widget);

private:
    EditKeyItemWidget *addRow(ProjectDevice *device, const OutLink &link);
    void refreshRows();
    ProjectDevice *keyOwner() const;

    Ui::EditKeyDialog *ui;
    ProjectModel *m_project = nullptr;
    QPointer<InOut> m_key;
    QList<EditKeyItemWidget *> m_rows;
};
