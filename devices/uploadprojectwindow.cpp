#include "devices/uploadprojectwindow.h"
#include "ui_uploadprojectform.h"

#include "gui/messageboxes.h"
#include "jobs/projectuploadjob.h"
#include "link/amodule.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectlint.h"
#include "project/projectmodel.h"
#include "project/projectwriterules.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileInfo>
#include <QVBoxLayout>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

UploadProjectWindow::UploadProjectWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : BaseDeviceWindow(device, context)
    , ui(new Ui::UploadProjectForm)
{
    setObjectName(QStringLiteral("UploadProjectWindow"));
    // Named for what it does: the central unit's settings window bears the unit's name.
    setWindowTitle(QStringLiteral("Загрузка проекта в устройство ") + deviceTypeName(device->type) +
                   QStringLiteral(" №") + QString::number(device->serial));
    restoreWindowGeometry();
    auto *form = new QWidget;
    ui->setupUi(form);
    auto *layout = new QVBoxLayout(centralArea());
    layout->addWidget(form);

    QString projectName = project() ? project()->name : QString();
    if (projectName.isEmpty() && project() && !project()->path.isEmpty())
        projectName = QFileInfo(project()->path).completeBaseName();
    QString where;
    if (const ProjectGroup *group = device->parentGroup())
        where = u(", группа «%1»").arg(group->name);
    ui->labelUploadStatus->setText(u("Загрузка проекта «%1» в %2 №%3%4")
                                       .arg(projectName.isEmpty() ? u("без имени") : projectName,
                                            deviceTypeName(device->type),
                                            QString::number(device->serial), where));
    ui->pushButtonContinue->setEnabled(false);
    ui->progressBar->setValue(0);
    log(u("Ожидание подключения устройства..."));

    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->pushButtonContinue, &QPushButton::clicked, this,
            &UploadProjectWindow::continueClicked);
    connect(this, &BaseDeviceWindow::firstConnectionEvent, this,
            &UploadProjectWindow::connectionSeen);
    connect(this, &BaseDeviceWindow::connectionEvent, this, &UploadProjectWindow::connectionSeen);
}

UploadProjectWindow::~UploadProjectWindow()
{
    // Before the facade goes: a deleted job stops and says nothing.
    delete job.data();
    delete ui;
}

void UploadProjectWindow::log(const QString &line)
{
    ui->plainTextEdit->appendPlainText(line);
}

void UploadProjectWindow::connectionSeen()
{
    // The plan that runs is never built again under it.
    if (job)
        return;
    amodule->getDescriptor(QStringLiteral("desc_SerialNumber"));
}

void UploadProjectWindow::on_receivedDescriptor(QString descname, QVariant value, int index,
                                                int err)
{
    Q_UNUSED(index)
    Q_UNUSED(err)
    if (descname != QLatin1String("SerialNumber") || job)
        return;
    quint32 serial = 0;
    // "ERROR" is no serial number, nor is anything but decimal digits.
    if (answerFailed(value.toString()) ||
        !ProjectWriteRules::parseSerial(value.toString(), &serial)) {
        log(u("Серийный номер устройства не прочитан: ") + value.toString().trimmed());
        MessageBoxes::error(this, u("Не удалось прочитать серийный номер устройства."));
        return;
    }
    deviceSerial = serial;
    if (serial != device->serial) {
        log(u("Устройство сообщило серийный номер %1, в проекте — %2.")
                .arg(serial)
                .arg(device->serial));
        amodule->close();
        MessageBoxes::error(this, u("Не совпадает серийный номер устройства."));
        return;
    }
    m_plan = ProjectUploadPlan::consoles(device);
    planBuilt = true;
    showPlan();
}

void UploadProjectWindow::showPlan()
{
    ui->plainTextEdit->clear();
    // What the project check finds comes first; the plan's own errors below stop it.
    if (const ProjectModel *project = device ? device->projectModel() : nullptr) {
        const QList<ProjectLint::Finding> findings = ProjectLint::check(*project);
        if (!findings.isEmpty()) {
            log(u("Проверка проекта:"));
            for (const ProjectLint::Finding &finding : findings)
                log((finding.severity == ProjectLint::Severity::Error ? u("  Ошибка: ")
                                                                      : u("  Предупреждение: ")) +
                    finding.subject + u(": ") + finding.what);
        }
    }
    if (!m_plan.runnable()) {
        log(u("Проект содержит ошибки, загрузка невозможна:"));
        for (const QString &error : qAsConst(m_plan.errors))
            log(u("  ") + error);
        log(u("Исправьте проект и откройте окно снова."));
        ui->pushButtonContinue->setEnabled(false);
        return;
    }
    if (m_plan.steps.isEmpty()) {
        log(u("В группе устройства нет пультов: загружать нечего."));
        ui->pushButtonContinue->setEnabled(false);
        return;
    }
    log(u("План загрузки:"));
    for (const QString &line : m_plan.lines())
        log(line);
    ui->progressBar->setMaximum(m_plan.steps.size());
    ui->progressBar->setValue(0);
    ui->pushButtonContinue->setEnabled(true);
}

void UploadProjectWindow::continueClicked()
{
    if (job || !planBuilt)
        return;
    if (!m_plan.runnable()) {
        MessageBoxes::error(this, u("Проект содержит ошибки, загрузка невозможна."));
        return;
    }
    ui->pushButtonContinue->setEnabled(false);
    ui->progressBar->setValue(0);
    log(u("Загрузка..."));
    job = new ProjectUploadJob(amodule, m_plan, this);
    if (stepTimeoutMs > 0)
        job->setStepTimeout(stepTimeoutMs);
    connect(job, &ProjectUploadJob::stepStarted, this, &UploadProjectWindow::stepStarted);
    connect(job, &ProjectUploadJob::stepDone, this, &UploadProjectWindow::stepDone);
    connect(job, &DeviceJob::finished, this, &UploadProjectWindow::jobFinished);
    job->start();
}

void UploadProjectWindow::stepStarted(int index)
{
    log(m_plan.steps.at(index).caption);
}

void UploadProjectWindow::stepDone(int index, const QString &note)
{
    ui->progressBar->setValue(index + 1);
    if (!note.isEmpty())
        log(u("  ") + note);
}

void UploadProjectWindow::jobFinished(const DeviceJob::Result &result)
{
    ProjectUploadJob *ended = job.data();
    job = nullptr;
    qDebug().noquote() << "UploadProjectWindow:" << result.message;
    if (!ended)
        return;
    ended->deleteLater();
    QString text;
    if (result.ok()) {
        ui->progressBar->setValue(ui->progressBar->maximum());
        text = u("Проект загружен в устройство.");
        log(text);
    } else {
        text = ended->failureReport();
        log(text);
        // What the unit holds now, as read back after the failure.
        const QStringList state = ended->unitState();
        if (!state.isEmpty()) {
            log(u("Сейчас в устройстве:"));
            for (const QString &line : state)
                log(u("  ") + line);
        }
        ui->pushButtonContinue->setEnabled(true);
    }
    if (closeWhenDone) {
        close();
        return;
    }
    if (result.ok())
        MessageBoxes::done(this, text);
    else
        MessageBoxes::error(this, text);
}

void UploadProjectWindow::closeEvent(QCloseEvent *event)
{
    if (job) {
        // The job writes back what it changed before it ends; the window closes then.
        if (MessageBoxes::confirm(this, u("Загрузка проекта"),
                                  u("Загрузка проекта не завершена. Прервать её?"))) {
            closeWhenDone = true;
            job->cancel();
        }
        event->ignore();
        return;
    }
    BaseDeviceWindow::closeEvent(event);
}
