#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Who may do what: the one table of the commands of the windows and of norda-cli with the
// access level each needs. The windows disable what the level does not reach, the command
// line refuses it, the tests and the guide are made from the same table.
//
// Levels: 1 look (monitoring, history, reading devices), 2 operator (acknowledge, silence
// the alarm, export journals), 3 installer (the project, every device write but the factory
// ones, files, uploads, backups), 4 factory (factory data, firmware, users).
class AccessLevels {
public:
    enum Level : int { Look = 1, Operator = 2, Installer = 3, Factory = 4 };
    enum class Place { MainWindow, Tree, DeviceWindow, Cli };

    struct Rule {
        Place place;
        // Main and device windows: the object name of the action or button; the tree: the
        // text of the menu command; the command line: the command words ("device set").
        const char *name;
        // What the guide calls it.
        const char *text;
        int level;
    };

    static const QVector<Rule> &rules();
    // The level `name` needs at `place`; 0 when the table does not name it (not guarded).
    static int required(Place place, const QString &name);
    // A device command of norda-cli with its arguments: `device set SerialNumber 5` needs
    // the factory level, other descriptors the installer's.
    static int requiredForCli(const QString &command, const QStringList &params = {});
    // Descriptors only the factory level may write, in the windows and through `device set`.
    static bool isFactoryDescriptor(const QString &name);
    static QString levelName(int level);
    // The tooltip of a command the current level does not reach.
    static QString neededText(int level);
    // The level without users: [factory] fullaccess set to a non-zero number gives the
    // factory level, anything else the installer's.
    static int levelWithoutUsers(const QString &fullAccessValue);
    static bool isValidLevel(int level) { return level >= Look && level <= Factory; }
};
