#pragma once

#include <QHash>
#include <QString>

// What a journal export shows of the device a record names: its type's display name and
// its location. Taken from the project on the user interface thread before an export
// starts, so that the export itself never touches the project.
struct ExportDevice {
    QString typeName;
    QString tag;
};

// Devices by identifier (`id_obj`).
using ExportDevices = QHash<int, ExportDevice>;
