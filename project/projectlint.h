#pragma once

#include <QList>
#include <QString>

class ProjectModel;
class QObject;

// What would go wrong in the field with a project, found before anything is written to a
// device: addresses and serial numbers that clash or are not usable, consoles and
// extension units that a central unit's bus cannot take, key links to devices or lines
// that are not there, groups that cannot be told apart.
class ProjectLint {
public:
    enum class Severity { Error, Warning };

    struct Finding {
        Severity severity = Severity::Error;
        // The device or group concerned (a device's title, a group's path).
        QString subject;
        QString what;
        // The device or group itself, for views that select it.
        const QObject *node = nullptr;

        // "error<TAB>subject<TAB>what", as norda-cli prints it.
        QString line() const;
    };

    static QList<Finding> check(const ProjectModel &project);
    static bool hasErrors(const QList<Finding> &findings);
};
