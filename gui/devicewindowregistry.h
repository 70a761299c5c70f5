#pragma once

#include "gui/devicewindowcontext.h"

#include <QHash>

#include <functional>

class ProjectDevice;
class QWidget;

// The settings windows that devices open, by kind. Each kind is backed by a factory that
// the window's provider registers; a kind without one cannot be opened, and the commands
// that would open it are disabled.
class DeviceWindowRegistry {
public:
    enum class Kind {
        CentralUnit, // types 1, 2, 3, 10
        FourLineUnit, // type 4
        Loudspeaker, // type 7
        IpConsole, // type 8
        MediaConverter, // type 9
        Firmware, // types 137, 255, and the firmware update of any device
        ProjectUpload, // writing the project's settings into a central unit
    };
    // Creates the window for a device, as a child of `context.parent`.
    using Factory =
        std::function<QWidget *(ProjectDevice *device, const DeviceWindowContext &context)>;

    // The window a device type opens; false when the type has none (consoles of type 6,
    // unknown types).
    static bool kindForType(int type, Kind *kind);

    void setFactory(Kind kind, const Factory &factory);
    bool canOpen(Kind kind) const;
    // Whether the device's own settings window can be opened.
    bool canOpenFor(const ProjectDevice *device) const;
    // Creates the window and shows it application-modal; it deletes itself when closed.
    // Returns it, or null when the kind cannot be opened.
    QWidget *open(Kind kind, ProjectDevice *device, const DeviceWindowContext &context) const;

private:
    QHash<int, Factory> m_factories;
};
