#pragma once

#include "journal/exportdevice.h"

#include <QString>
#include <QVector>

class ProjectModel;

// What a journal export needs of a project's devices, taken on the thread that owns the
// project (the user interface thread) before the export starts.
class JournalDevices {
public:
    // Type name and location of every device by identifier (the first device of an
    // identifier, should two share one). Empty for no project.
    static ExportDevices snapshot(const ProjectModel *project);

    // The journal ids of the project's devices with that serial number, of that type,
    // or inside a group of that name (at any depth, its subgroups included).
    static QVector<int> withSerial(const ProjectModel *project, quint32 serial);
    static QVector<int> ofType(const ProjectModel *project, int type);
    static QVector<int> inGroup(const ProjectModel *project, const QString &groupName);
};
