#pragma once

#include <QString>
#include <QTextStream>

// Standard output and error of the command-line tool, UTF-8 encoded.
class CliOutput {
public:
    static QTextStream &out();
    static QTextStream &err();
    // Writes "norda-cli: <message>" as one line on standard error and returns `code`.
    static int fail(int code, const QString &message);
};
