#pragma once

#include <QList>

class ProjectDevice;
class ProjectModel;

// The part of the main window's "Поиск USB-устройств" that does not touch the view: clear
// the port marks of the project, run port discovery, and match what was found against the
// project by serial number.
class UsbSearch {
public:
    struct Result {
        // Devices of the project that were found (their port is set; the project emitted
        // nodeChanged for each); the window expands their groups.
        QList<ProjectDevice *> matched;
        // Found devices the project did not have; added at the top level of the project.
        QList<ProjectDevice *> added;
        bool isEmpty() const { return matched.isEmpty() && added.isEmpty(); }
    };

    // resetPortFlags(), discovery on the caller's thread (it blocks for up to about a second
    // per silent port), then merge().
    static Result run(ProjectModel &project);

    // Takes ownership of `found`: a device whose serial number is already in the project
    // hands its port, USB ids and version to that device and is deleted; any other is added
    // to the project with its port mark set. Serial number 0 (bootloaders, RS-485 consoles)
    // only matches a project device of the same type, and each project device takes at most
    // one found device.
    static Result merge(ProjectModel &project, const QList<ProjectDevice *> &found);

private:
    static ProjectDevice *matchUnclaimed(ProjectModel &project, const ProjectDevice *found,
                                         const QList<ProjectDevice *> &claimed);
};
