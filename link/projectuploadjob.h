#pragma once

#include "link/devicejob.h"
#include "link/projectuploadplan.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class FileUploadJob;

// Carries out an upload plan (ProjectUploadPlan) on a central unit, one step at a time:
// each step is sent only when the one before was answered, within a deadline of its own.
// Before the first write it reads every descriptor the plan changes that is to be restored
// (the slots' enable flags and serial numbers); a value that cannot be read stops the job
// before anything is written. The first failed step stops the plan; the values changed so
// far are then written back as they were read, and the result names the step and what was
// restored. The plan is the one given at construction; it never changes while the job runs.
class ProjectUploadJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the job ended (Result::step).
    enum Phase { Check = 1, ReadState, Run, RestoreState };
    Q_ENUM(Phase)

    static constexpr int defaultStepTimeoutMs = 30000;

    ProjectUploadJob(Amodule *module, const UploadPlan &plan, QObject *parent = nullptr);
    ~ProjectUploadJob() override;

    // How long one step (a write, a deletion, a whole file upload) may take. Set before
    // start().
    void setStepTimeout(int ms) { stepTimeoutMs = ms; }

    const UploadPlan &plan() const { return m_plan; }
    // The index of the step that failed, -1 when none did.
    int failedStep() const { return failed; }
    // Why that step (or the reading before the plan) failed: the device's answer, or what
    // happened instead.
    QString failureDetail() const { return detail; }
    // What was written back after the failure ("desc_Rs485PultEnable[2] = 1"), and what
    // could not be.
    QStringList restored() const { return restoredList; }
    QStringList notRestored() const { return notRestoredList; }
    // The lines the user is shown for a failed run: the step and why, then what was
    // written back and what could not be.
    QString failureReport() const;

signals:
    // Step `index` of the plan is being carried out.
    void stepStarted(int index);
    // Step `index` was done; `note` tells something worth a line in a log (may be empty).
    void stepDone(int index, const QString &note);

protected:
    void begin() override;
    void abort() override;
    void stop() override;
    void linkLost() override;

private:
    void readNext();
    void runNext();
    void stepAnswered(int generation, int err, const QString &answer);
    void fileFinished(const DeviceJob::Result &result);
    void stepTimedOut();
    void fail(const QString &why);
    void restoreNext();
    void conclude();
    void dropChild();
    // Sends one line as the current exchange; its answer goes to stepAnswered.
    bool exchange(const QString &line);

    UploadPlan m_plan;
    QStringList toRead;
    QHash<QString, QString> original;
    // Restorable descriptors written so far, in the order first written.
    QStringList changed;
    QHash<QString, QString> written;
    QStringList toRestore;
    int next = 0;
    int current = -1;
    int failed = -1;
    int generation = 0;
    bool deleting = false;
    QString detail;
    QStringList restoredList;
    QStringList notRestoredList;
    int stepTimeoutMs = defaultStepTimeoutMs;
    QTimer stepTimer;
    QPointer<FileUploadJob> child;
};
