#pragma once

#include <QString>

class CliDeviceLink;
class ProjectModel;

// "norda-cli device ... write-project PROJECT.mpj [--dry-run]": writes the project's
// microphone consoles into the central unit that answers (the plan of the console's project
// upload window, carried out by the same job), or with --dry-run only prints the plan.
class WriteProjectCommand {
public:
    // Reads the project before the device is asked anything; returns 0, or the exit status
    // after printing why it cannot be used.
    static int load(ProjectModel *project, const QString &path);
    // Identifies the unit by the serial number it reports, prints the plan one step a line
    // and, unless `dryRun`, carries it out; returns the exit status.
    static int run(CliDeviceLink &link, ProjectModel *project, bool dryRun);
};
