#pragma once

#include <QStringList>

class ProjectDevice;
class QTextStream;

// "norda-cli project ...": showing and re-saving project files, listing their scenarios,
// and the key configuration image of a console.
class ProjectCommand {
public:
    // args[0] is "project"; returns the exit status.
    static int run(const QStringList &args);

    static void printDevice(QTextStream &out, const ProjectDevice *device, int indent);

private:
    static int show(const QStringList &args);
    static int saveAs(const QStringList &args);
    static int keyImage(const QStringList &args);
    static int scenarios(const QStringList &args);
    static int lint(const QStringList &args);
};
