#include "tools/devsim/simlines.h"

#include "link/tovikstatus.h"
#include "tools/devsim/simdevice.h"

#include <QRegularExpression>
#include <QStringList>

int SimLines::measured(const SimDevice *device, int line)
{
    const int state = device->lineStates.at(size_t(line));
    return state == 1 ? 120 : state == 2 ? 30000 : device->lineValues.at(size_t(line));
}

QString SimLines::currentValues(const SimDevice *device)
{
    QStringList values;
    for (int n = 0; n < lineCount; ++n)
        values << QString::number(measured(device, n));
    return values.join(QLatin1Char(','));
}

bool SimLines::calibrate(SimDevice *device, const QString &name, const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^LoCtrlCalibCmd\\[([0-7])\\]$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch() || value.trimmed() != QLatin1String("1") || device->descriptors.isEmpty())
        return false;
    const int line = match.captured(1).toInt();
    device->descriptors.insert(QStringLiteral("LoCalibValue[%1]").arg(line),
                               QString::number(measured(device, line)));
    device->descriptors.insert(QStringLiteral("LoCalibTime[%1]").arg(line),
                               TovikStatus::unitTimeText(device->clock()));
    return true;
}
