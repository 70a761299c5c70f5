#include "devices/rwparamdialog.h"
#include "ui_rwparamdialog.h"

#include "gui/messageboxes.h"
#include "jobs/projectuploadjob.h"
#include "link/amodule.h"
#include "link/tovikstatus.h"

#include <QDebug>
#include <QLabel>
#include <QLineEdit>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

RwParamDialog::RwParamDialog(ProjectDevice *unit, Amodule *facade, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::RwParamDialog)
    , facade(facade)
    , m_plan(ProjectUploadPlan::unitSettings(unit,
                                             facade && !facade->version().isEmpty()
                                                 ? TovikStatus::buildNumber(facade->version())
                                                 : -1))
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(u("Запись настроек в устройство"));
    ui->labelMessage->setText(u("В устройство будут записаны следующие параметры из проекта:"));
    int row = 0;
    for (const auto &pair : qAsConst(m_plan.rows)) {
        ui->gridLayoutParams->addWidget(new QLabel(pair.first), row, 0);
        auto *value = new QLineEdit(pair.second);
        value->setReadOnly(true);
        ui->gridLayoutParams->addWidget(value, row, 1);
        ++row;
    }
    ui->gridLayoutParams->setRowStretch(row, 1);
    if (!m_plan.runnable()) {
        ui->labelStatus->setStyleSheet(QStringLiteral("color: red;"));
        ui->labelStatus->setText(u("Проект содержит ошибки, ничего не будет записано:\n") +
                                 m_plan.errors.join(QLatin1Char('\n')));
        ui->pushButtonContinue->setEnabled(false);
    }
    ui->progressBar->setMaximum(qMax(1, m_plan.steps.size()));
    ui->progressBar->setValue(0);
    connect(ui->pushButtonContinue, &QPushButton::clicked, this, &RwParamDialog::continueClicked);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &RwParamDialog::reject);
}

RwParamDialog::~RwParamDialog()
{
    delete job.data();
    delete ui;
}

void RwParamDialog::continueClicked()
{
    if (job || !m_plan.runnable())
        return;
    if (!facade || !facade->isConnected()) {
        MessageBoxes::error(this, u("Устройство не подключено."));
        return;
    }
    ui->pushButtonContinue->setEnabled(false);
    ui->labelStatus->setStyleSheet(QString());
    ui->labelStatus->setText(u("Запись..."));
    started = true;
    job = new ProjectUploadJob(facade, m_plan, this);
    if (stepTimeoutMs > 0)
        job->setStepTimeout(stepTimeoutMs);
    connect(job, &ProjectUploadJob::stepStarted, this, [this](int index) {
        ui->labelStatus->setText(m_plan.steps.at(index).caption);
        ui->progressBar->setValue(index);
    });
    connect(job, &DeviceJob::finished, this, &RwParamDialog::jobFinished);
    job->start();
}

void RwParamDialog::jobFinished(const DeviceJob::Result &result)
{
    ProjectUploadJob *ended = job.data();
    job = nullptr;
    if (!ended)
        return;
    ended->deleteLater();
    qDebug().noquote() << "RwParamDialog:" << result.message;
    if (rejectWhenDone) {
        QDialog::reject();
        return;
    }
    if (result.ok()) {
        ui->progressBar->setValue(ui->progressBar->maximum());
        ui->labelStatus->setText(u("Параметры записаны."));
        MessageBoxes::information(this, u("Запись выполнена"), u("Параметры записаны."));
        accept();
        return;
    }
    const QString text = ended->failureReport();
    ui->labelStatus->setStyleSheet(QStringLiteral("color: red;"));
    ui->labelStatus->setText(text);
    ui->pushButtonContinue->setEnabled(true);
    MessageBoxes::error(this, text);
}

void RwParamDialog::reject()
{
    if (job) {
        // The job writes back what it changed before it ends; the dialog closes then.
        rejectWhenDone = true;
        job->cancel();
        return;
    }
    QDialog::reject();
}
