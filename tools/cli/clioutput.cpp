#include "tools/cli/clioutput.h"

#include "project/projectmodel.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>

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

QString CliOutput::printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\r'))
            shown += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            shown += QLatin1String("\\n");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

int CliOutput::fail(int code, const QString &message)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    err() << "norda-cli: " << printable(line) << Qt::endl;
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

int CliOutput::loadProject(ProjectModel &model, const QString &path)
{
    QString reason;
    const int result = model.load(path, &reason);
    if (result == -1)
        return fail(ExitCannotOpen,
                    QStringLiteral("cannot open project file %1: %2")
                        .arg(path,
                             QFileInfo::exists(path) ? QStringLiteral("not readable")
                                                     : QStringLiteral("no such file")));
    if (result != 0)
        return fail(ExitUnusable,
                    QStringLiteral("project file %1 is unusable: %2").arg(path, reason));
    return ExitOk;
}
