#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class ProjectDevice;

// The rules that decide whether the project's settings can be written into a central unit:
// the RS-485 addresses and serial numbers of the consoles and extension units on the unit's
// bus (the other devices of its project group), the consoles' key images, the unit's own
// name, role and IP address. The upload plans refuse what these rules refuse, and the
// project check reports it, so that a project that checks clean is one the plans take.
// Pure functions of the project; texts are the Russian lines the user is shown.
class ProjectWriteRules {
public:
    static constexpr int maxConsoleAddress = 32;
    static constexpr int maxExtensionAddress = 9;
    // The longest device name a unit takes.
    static constexpr int maxNameLength = 64;

    // The devices on a unit's bus that the plans write, by RS-485 address, and why the
    // others cannot be written. A device with an error is in neither map.
    struct Bus {
        QMap<int, const ProjectDevice *> consoles;
        QMap<int, const ProjectDevice *> extensions;
        QStringList consoleErrors;
        QStringList extensionErrors;
    };

    // The other devices of the unit's parent group, in project order.
    static QList<const ProjectDevice *> groupMates(const ProjectDevice *unit);

    // The consoles (type 6) of the unit's group: each at an address 1 to 32, one console at
    // an address, one console with a serial number, and a key image that can be built. The
    // extension units (types 2, 3, 10) with RS-485 on and an address other than 0: each at
    // an address 1 to 9, one unit at an address.
    static Bus bus(const ProjectDevice *unit);

    // The unit's own settings: its name (when it is written at all), its RS-485 role
    // (an extension unit's address is 1 to 9) and its IP address.
    static QStringList unitErrors(const ProjectDevice *unit, bool withName = true);

    // Every reason a plan for the unit would be refused: unitErrors() and both lists of
    // bus().
    static QStringList errors(const ProjectDevice *unit);

    // Why a device name cannot be written (empty when it can): longer than maxNameLength
    // characters, a control character, or a character Windows-1251 cannot carry.
    static QString nameProblem(const QString &name);

    // The IP address as it is written: without leading zeros ("127.0.77.004" gives
    // "127.0.77.4"); empty when the text is not a dotted IPv4 address.
    static QString writtenAddress(const QString &text);

    // A serial number as a device reports it: decimal digits only, 1 to 4294967295. An
    // error answer ("ERROR", "ERROR TIMEOUT") or any other text is not one.
    static bool parseSerial(const QString &text, quint32 *serial);

    // Whether a key configuration image names any device (has a link record). An image of
    // buttons without links assigns nothing.
    static bool keyImageHasLinks(const QByteArray &image);

    enum class KeyFile { Assignments, NoAssignments, Broken };
    // What a console's key file is to be: its key image (Assignments, in `image`), none
    // because it assigns nothing (NoAssignments), or not buildable (Broken, with `error`).
    static KeyFile consoleKeyFile(const ProjectDevice *console, QByteArray *image, QString *error);
};
