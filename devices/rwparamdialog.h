#pragma once

#include "jobs/devicejob.h"
#include "jobs/projectuploadjob.h"
#include "jobs/projectuploadplan.h"

#include <QDialog>
#include <QPointer>

class Amodule;
class ProjectDevice;

namespace Ui {
class RwParamDialog;
}

// The confirmation and execution of "Загрузить из проекта" of the central unit window: lists
// what the project holds for the unit (ProjectUploadPlan::unitSettings: its name, RS-485 role
// and address, the console and extension-unit slots, its IP address, each console's key file
// "0:\keys\keys<address>.bin") or the project's errors that prevent it; "Продолжить" writes it
// step by step over the unit window's facade (ProjectUploadJob) with a progress bar, and ends
// in one message. The dialog is accepted once everything was written; after a failure the
// job has put back what it could, and the window reads the unit again either way.
class RwParamDialog : public QDialog {
    Q_OBJECT

public:
    RwParamDialog(ProjectDevice *unit, Amodule *facade, QWidget *parent = nullptr);
    ~RwParamDialog() override;

    const UploadPlan &plan() const { return m_plan; }
    bool isRunning() const { return job != nullptr; }
    // Whether "Продолжить" started writing: the unit may hold something else now.
    bool wroteToDevice() const { return started; }
    void setStepTimeout(int ms) { stepTimeoutMs = ms; }

protected:
    void reject() override;

private:
    void continueClicked();
    void jobFinished(const DeviceJob::Result &result);

    Ui::RwParamDialog *ui;
    Amodule *facade;
    UploadPlan m_plan;
    int stepTimeoutMs = 0;
    bool rejectWhenDone = false;
    bool started = false;
    QPointer<ProjectUploadJob> job;
};
