#pragma once

#include "project/projectlint.h"

#include <QDialog>

namespace Ui {
class ProjectLintDialog;
}

// "Проверка проекта": the findings of ProjectLint, errors first; a double-click on one
// selects its device or group in the tree (nodeActivated).
class ProjectLintDialog : public QDialog {
    Q_OBJECT

public:
    ProjectLintDialog(const QList<ProjectLint::Finding> &findings, QWidget *parent = nullptr);
    ~ProjectLintDialog() override;

    // "Ошибок: 2, предупреждений: 1", or that nothing was found.
    static QString summary(const QList<ProjectLint::Finding> &findings);

signals:
    void nodeActivated(const QObject *node);

private:
    Ui::ProjectLintDialog *ui;
    QList<ProjectLint::Finding> m_findings;
};
