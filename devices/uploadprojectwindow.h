#pragma once

#include "devices/basedevicewindow.h"
#include "jobs/devicejob.h"
#include "jobs/projectuploadjob.h"
#include "jobs/projectuploadplan.h"

#include <QPointer>

namespace Ui {
class UploadProjectForm;
}

// Writes the project's microphone consoles into a central unit: once the unit connected
// and its serial number matches the project device's, the window shows the plan
// (ProjectUploadPlan::consoles: per console disable its slot, its key file, its serial
// number, enable its slot) or the project's errors that prevent it. "Продолжить" carries it
// out step by step (ProjectUploadJob, the same as norda-cli device write-project), with the
// steps in the log and the progress bar, and ends in one message.
class UploadProjectWindow : public BaseDeviceWindow {
    Q_OBJECT

public:
    UploadProjectWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~UploadProjectWindow() override;

    const UploadPlan &plan() const { return m_plan; }
    bool hasPlan() const { return planBuilt; }
    bool isRunning() const { return job != nullptr; }
    // How long one step may take (ProjectUploadJob::setStepTimeout).
    void setStepTimeout(int ms) { stepTimeoutMs = ms; }

    void on_receivedDescriptor(QString descname, QVariant value, int index, int err) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void connectionSeen();
    void showPlan();
    void continueClicked();
    void stepStarted(int index);
    void stepDone(int index, const QString &note);
    void jobFinished(const DeviceJob::Result &result);
    void log(const QString &line);

    Ui::UploadProjectForm *ui;
    UploadPlan m_plan;
    bool planBuilt = false;
    bool closeWhenDone = false;
    int stepTimeoutMs = 0;
    QPointer<ProjectUploadJob> job;
};
