#include "jobs/screenreadjob.h"

#include "link/amodule.h"

ScreenReadJob::ScreenReadJob(Amodule *module, QObject *parent)
    : DeviceJob(module, parent)
{
}

ScreenReadJob::~ScreenReadJob()
{
    quit();
}

void ScreenReadJob::begin()
{
    setStep(Read);
    const bool queued =
        request(QStringLiteral("GET SCREEN"), [this](int err, const QString &answer) {
            const QString said = Amodule::failureReason(answer);
            if (err != 0) {
                finish(Status::Failed, -1,
                       QStringLiteral("reading the screen failed: %1").arg(said), answer);
                return;
            }
            const UnitScreen screen = UnitScreen::fromAnswer(answer);
            if (!screen.isValid()) {
                finish(Status::Failed, -1,
                       QStringLiteral(
                           "the screen answer is not %1 bytes in hexadecimal (%2 characters)")
                           .arg(UnitScreen::bufferBytes)
                           .arg(answer.trimmed().size()),
                       answer);
                return;
            }
            picture = screen;
            finish(Status::Done, -1, QStringLiteral("screen read"));
        });
    if (!queued)
        finishLater(Status::Failed, -1, QStringLiteral("reading the screen was refused"));
}

void ScreenReadJob::abort()
{
    finishLater(Status::Cancelled, -1, QStringLiteral("reading the screen cancelled"));
}
