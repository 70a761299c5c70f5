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
    // Writes "norda-cli: <message>" as one line on standard error and returns `code`; the
    // message is printable() (a line feed in it becomes a space).
    static int fail(int code, const QString &message);
    // `text` with every character that a terminal would take as a control (C0 controls,
    // DEL, C1 controls) written as an escape ("\\r", "\\n", "\\x1b", "\\x9b"), so that text
    // from a device or a command line prints as one line and cannot move the cursor,
    // clear the screen or retitle the terminal. Other text, Cyrillic included, stays.
    static QString printable(const QString &text);
    // Reads a project file; on failure prints the reason and returns the exit status (2
    // cannot be opened, 3 unusable), else 0.
    static int loadProject(ProjectModel &model, const QString &path);
    // Parses a command's arguments (args[0] is the command's name) with a help option
    // added. False when the command must end: help was printed (status 0) or the
    // arguments are wrong or not `positional` in number (usage printed, status 1).
    static bool parse(QCommandLineParser &parser, const QStringList &args, int positional,
                      int *status);
};
