#pragma once

#include "jobs/devicejob.h"
#include "link/unitscreen.h"

// Reads a central unit's screen once ("GET SCREEN"). Only a complete answer (512 bytes in
// hexadecimal) is a screen: a refusal, a timeout or an answer of any other form ends the
// job as Failed, so that no empty picture stands for a screen that was never read.
class ScreenReadJob : public DeviceJob {
    Q_OBJECT

public:
    enum Step { Read = 1 };

    explicit ScreenReadJob(Amodule *module, QObject *parent = nullptr);
    ~ScreenReadJob() override;

    // The screen, once the job is done.
    const UnitScreen &screen() const { return picture; }

protected:
    void begin() override;
    void abort() override;

private:
    UnitScreen picture;
};
