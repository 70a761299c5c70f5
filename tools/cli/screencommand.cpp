#include "tools/cli/screencommand.h"

#include "jobs/screenreadjob.h"
#include "link/screenrenderer.h"
#include "tools/cli/clidevicelink.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

int ScreenCommand::run(CliDeviceLink &link, const QString &output)
{
    ScreenReadJob job(&link.module());
    const DeviceJob::Result result = link.run(job);
    if (!result.ok())
        return CliOutput::fail(ExitFailed, result.message);

    const QImage image = ScreenRenderer::render(job.screen());
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        return CliOutput::fail(
            ExitCannotOpen, QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
    QImageWriter writer(&file, "PNG");
    if (!writer.write(image) || !file.commit())
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("cannot write %1").arg(output));
    CliOutput::out() << "screen saved to " << output << Qt::endl;
    return ExitOk;
}
