#include "app/projectlintdialog.h"
#include "ui_projectlintdialog.h"

#include <QHeaderView>
#include <QTreeWidgetItem>

#include <algorithm>

ProjectLintDialog::ProjectLintDialog(const QList<ProjectLint::Finding> &findings, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ProjectLintDialog)
    , m_findings(findings)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("projectLintDialog"));
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const ProjectLint::Finding &a, const ProjectLint::Finding &b) {
                         return a.severity == ProjectLint::Severity::Error &&
                             b.severity != ProjectLint::Severity::Error;
                     });
    ui->labelSummary->setText(summary(m_findings));
    for (int i = 0; i < m_findings.size(); ++i) {
        const ProjectLint::Finding &finding = m_findings.at(i);
        auto *item = new QTreeWidgetItem(ui->treeWidgetFindings);
        const bool error = finding.severity == ProjectLint::Severity::Error;
        item->setText(0, error ? QStringLiteral("Ошибка") : QStringLiteral("Предупреждение"));
        item->setForeground(0, error ? QColor(192, 0, 0) : QColor(160, 110, 0));
        item->setText(1, finding.subject);
        item->setText(2, finding.what);
        item->setData(0, Qt::UserRole, i);
    }
    ui->treeWidgetFindings->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(ui->treeWidgetFindings, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) {
                const int i = item->data(0, Qt::UserRole).toInt();
                if (i >= 0 && i < m_findings.size() && m_findings.at(i).node)
                    emit nodeActivated(m_findings.at(i).node);
            });
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ProjectLintDialog::~ProjectLintDialog()
{
    delete ui;
}

QString ProjectLintDialog::summary(const QList<ProjectLint::Finding> &findings)
{
    int errors = 0;
    for (const ProjectLint::Finding &finding : findings)
        errors += finding.severity == ProjectLint::Severity::Error ? 1 : 0;
    if (findings.isEmpty())
        return QStringLiteral("Проверка не нашла ошибок.");
    return QStringLiteral("Ошибок: %1, предупреждений: %2")
        .arg(errors)
        .arg(findings.size() - errors);
}
