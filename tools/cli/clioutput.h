#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class ProjectModel;
class QCommandLineParser;

// Standard output and error of the command-line tool, UTF-8 encoded, and the parsing step
// its commands share.
class CliOutput {
public:
    static QTextStream &out();
    static QTextStream &err();
    // Writes "norda-cli: <message>" as one line on standard error and returns `code`.
    static int fail(int code, const QString &message);
    // Reads a project file; on failure prints the reason and returns the exit status (2
    // cannot be opened, 3 unusable), else 0.
    static int loadProject(ProjectModel &model, const QString &path);
    // Parses a command's arguments (args[0] is the command's name) with a help option
    // added. False when the command must end: help was printed (status 0) or the
    // arguments are wrong or not `positional` in number (usage printed, status 1).
    static bool parse(QCommandLineParser &parser, const QStringList &args, int positional,
                      int *status);
};
