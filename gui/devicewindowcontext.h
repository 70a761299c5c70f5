#pragma once

#include "link/networkports.h"

class AccessSession;
class ProjectModel;
class QSettings;
class QWidget;

// What a device window needs from the program that opens it: the settings file (window
// geometry, paths, the factory-access flag), the open project, the device ports and the
// widget that parents the window, and who works at the console (null: the level the
// settings give without users). Windows never reach the main window itself.
struct DeviceWindowContext {
    QWidget *parent = nullptr;
    QSettings *settings = nullptr;
    ProjectModel *project = nullptr;
    NetworkPorts ports;
    AccessSession *access = nullptr;
};
