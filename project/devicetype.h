#pragma once

#include <QString>

class ProjectDevice;

// Device type codes. A type is stored as a plain int everywhere (project file,
// device link, databases); these names only make the code readable.
struct DeviceType {
    enum Code : int {
        Unknown = 0,
        Tovik2 = 1,
        Norda410x = 2,
        Norda4200 = 3,
        Lumo4 = 4,
        BexarTovik2 = 6,
        Horn = 7,
        IpPult = 8,
        Media = 9,
        Kv510 = 10,
        BexarBoot = 137,
        Bootloader = 255,
    };
};

// Display name of a type code; "Неизвестное устройство" for codes outside the catalogue.
QString deviceTypeName(int type);
QString deviceTypeName(const ProjectDevice *device);

// "<type name> (серийный номер <serial>)", used where devices are listed for choosing.
QString deviceCaption(const ProjectDevice *device);

// "<type name> (№<serial>)": a device's title in the tree, the fault pane and the journal.
QString deviceTitle(const ProjectDevice *device);

// Key under which a type is written to project files ("bootloader" for 255, empty
// for codes outside the catalogue).
QString deviceTypeKey(int type);

// Type code of a key as read from a project file or reported by a device.
// Matching ignores case; "bootloader" is not a key the devices report and yields 0.
int deviceTypeFromKey(const QString &key);

// Resource path of the type's icon (":/images/icons/..."); the GUI turns it into a pixmap.
QString deviceTypeIconPath(int type);
QString deviceTypeIconPath(const ProjectDevice *device);

// Central switching units and extension units (codes 1, 2, 3 and 10).
bool isCentralUnitType(int type);
// Microphone consoles with buttons (codes 6 and 8).
bool isConsoleType(int type);
