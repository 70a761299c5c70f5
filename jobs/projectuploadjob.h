#pragma once

#include "jobs/devicejob.h"
#include "jobs/projectuploadplan.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

// Carries out an upload plan (ProjectUploadPlan) on a central unit, one step at a time:
// each step is sent only when the one before was answered, within a deadline of its own.
//
// Before the first step it reads every descriptor the plan writes and, after resetting the
// unit's file transfer ("SET FILE_RESET"), downloads every file the plan writes or deletes
// (a file the unit refuses to open is one it does not have); anything that cannot be read
// stops the job before anything is written. The first failed step stops the plan; then
// everything changed so far is put back as it was read: the files first (uploaded again,
// or deleted when the unit had none), then the descriptors. A console whose key file cannot
// be put back is left switched off rather than running on a file it was not given. The
// values changed are then read back, and the result names the failed step, what was put
// back, what could not be, and which consoles were left off. The plan is the one given at
// construction; it never changes while the job runs.
class ProjectUploadJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the job ended (Result::step).
    enum Phase { Check = 1, ReadState, Run, RestoreState, Verify };
    Q_ENUM(Phase)

    static constexpr int defaultStepTimeoutMs = 30000;

    ProjectUploadJob(Amodule *module, const UploadPlan &plan, QObject *parent = nullptr);
    ~ProjectUploadJob() override;

    // How long one step (a write, a deletion, a whole file transfer) may take. Set before
    // start().
    void setStepTimeout(int ms) { stepTimeoutMs = ms; }

    const UploadPlan &plan() const { return m_plan; }
    // The index of the step that failed, -1 when none did.
    int failedStep() const { return failed; }
    // Why that step (or the reading before the plan) failed: the device's answer, or what
    // happened instead.
    QString failureDetail() const { return detail; }
    // What was put back after the failure ("desc_Rs485PultEnable[2] = 1",
    // "0:\keys\keys1.bin (40 bytes)", "0:\keys\keys3.bin (deleted)"), and what could not be.
    QStringList restored() const { return restoredList; }
    QStringList notRestored() const { return notRestoredList; }
    // The RS-485 addresses of the consoles left switched off because their key file could
    // not be put back.
    QList<int> consolesLeftOff() const { return leftOffList; }
    // After a failure: the descriptors the plan wrote as the unit holds them now
    // ("desc_Rs485PultEnable[0] = да"), read back once everything was put back.
    QStringList unitState() const { return holdings; }
    // The lines the user is shown for a failed run: the step and why, then what was put
    // back, what could not be and which consoles were left off.
    QString failureReport() const;

signals:
    // Step `index` of the plan is being carried out.
    void stepStarted(int index);
    // Step `index` was done; `note` tells something worth a line in a log (may be empty).
    void stepDone(int index, const QString &note);

protected:
    void begin() override;
    QString auditAction() const override;
    QJsonObject auditDetails() const override;
    void abort() override;
    void stop() override;
    void linkLost() override;

private:
    // What a file held before the plan: its content, or no file at all.
    struct Original {
        bool present = false;
        QByteArray data;
    };

    void readNext();
    void downloadNext();
    void runNext();
    void stepAnswered(int generation, int err, const QString &answer);
    void childFinished(const DeviceJob::Result &result);
    void stepTimedOut();
    void fail(const QString &why);
    void restoreFileNext();
    void fileRestored(bool ok);
    void restoreNext();
    void verifyNext();
    void conclude();
    void dropChild();
    // Sends one line as the current exchange; its answer goes to stepAnswered.
    bool exchange(const QString &line);
    void startChild(DeviceJob *job);
    bool linked() const;
    const UploadStep *descriptorStep(const QString &name) const;
    QString slotName(int address) const;

    UploadPlan m_plan;
    QStringList toRead;
    QStringList files;
    QHash<QString, QString> original;
    QHash<QString, Original> originalFiles;
    bool resetSent = false;
    // Descriptors written so far, in the order first written.
    QStringList changed;
    QHash<QString, QString> written;
    // Files whose step started, in that order, and those whose step completed.
    QStringList touchedFiles;
    QSet<QString> completedFiles;
    QStringList toRestore;
    QStringList filesToRestore;
    int next = 0;
    int current = -1;
    int failed = -1;
    int generation = 0;
    QString detail;
    QStringList restoredList;
    QStringList notRestoredList;
    QList<int> leftOffList;
    QStringList holdings;
    int stepTimeoutMs = defaultStepTimeoutMs;
    QTimer stepTimer;
    QPointer<DeviceJob> child;
};
