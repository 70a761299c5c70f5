#include "tools/cli/clioutput.h"

#include "tools/cli/exitcode.h"

#include <QCommandLineParser>

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

bool CliOutput::parse(QCommandLineParser &parser, const QStringList &args, int positional,
                      int *status)
{
    parser.addHelpOption();
    if (!parser.parse(args)) {
        *status = fail(ExitUsage, parser.errorText());
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out() << parser.helpText();
        out().flush();
        *status = ExitOk;
        return false;
    }
    if (parser.positionalArguments().size() != positional) {
        err() << parser.helpText();
        *status = fail(ExitUsage, QStringLiteral("wrong number of arguments"));
        return false;
    }
    return true;
}
