#pragma once

#include "gui/devicewindowregistry.h"

#include <QList>

// The device settings windows this build has, as factories for a DeviceWindowRegistry: the
// program registers them with its main window, and the quick connection without a project
// opens a device's window through them, as the main window would.
class DeviceWindowFactories {
public:
    // The kinds that have a window.
    static QList<DeviceWindowRegistry::Kind> kinds();
    // The factory of a kind; empty for a kind without a window.
    static DeviceWindowRegistry::Factory factory(DeviceWindowRegistry::Kind kind);
    // Registers every factory with a registry.
    static void install(DeviceWindowRegistry *registry);
};
