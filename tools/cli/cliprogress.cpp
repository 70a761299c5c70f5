#include "tools/cli/cliprogress.h"

#include "tools/cli/clioutput.h"

#include <cstdio>
#include <unistd.h>

namespace {

bool forcedOn = false;

} // namespace

void CliProgress::setForced(bool forced)
{
    forcedOn = forced;
}

bool CliProgress::enabled()
{
    return forcedOn || isatty(fileno(stderr)) != 0;
}

CliProgress::CliProgress(const QString &label, qint64 total)
    : label(label)
    , total(total)
{
    draw(0);
}

CliProgress::~CliProgress()
{
    if (!finished && shown >= 0 && enabled())
        CliOutput::err() << Qt::endl;
}

void CliProgress::update(qint64 done)
{
    const qint64 clamped = qBound<qint64>(0, done, total);
    draw(total > 0 ? int(clamped * 100 / total) : 100);
}

void CliProgress::finish()
{
    if (finished)
        return;
    draw(100);
    finished = true;
    if (enabled())
        CliOutput::err() << Qt::endl;
}

void CliProgress::draw(int percent)
{
    if (finished || percent == shown || !enabled())
        return;
    shown = percent;
    constexpr int width = 30;
    const int filled = percent * width / 100;
    CliOutput::err() << '\r' << label.leftJustified(8) << " [" << QString(filled, QLatin1Char('#'))
                     << QString(width - filled, QLatin1Char('.')) << "] "
                     << QString::number(percent).rightJustified(3) << '%';
    CliOutput::err().flush();
}
