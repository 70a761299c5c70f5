#pragma once

#include "journal/exportdevice.h"

class ProjectModel;

// What a journal export needs of a project's devices, taken on the thread that owns the
// project (the user interface thread) before the export starts.
class JournalDevices {
public:
    // Type name and location of every device by identifier (the first device of an
    // identifier, should two share one). Empty for no project.
    static ExportDevices snapshot(const ProjectModel *project);
};
