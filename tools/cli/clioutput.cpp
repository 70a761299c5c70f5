#include "tools/cli/clioutput.h"

#include <cstdio>

QTextStream &CliOutput::out()
{
    static QTextStream stream(stdout);
    static const bool configured = [] {
        stream.setCodec("UTF-8");
        return true;
    }();
    Q_UNUSED(configured)
    return stream;
}

QTextStream &CliOutput::err()
{
    static QTextStream stream(stderr);
    static const bool configured = [] {
        stream.setCodec("UTF-8");
        return true;
    }();
    Q_UNUSED(configured)
    return stream;
}

int CliOutput::fail(int code, const QString &message)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    err() << "norda-cli: " << line << Qt::endl;
    return code;
}
