#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>

class ProjectDevice;

// One step of writing project settings into a central unit: a descriptor write, a file
// upload or a file deletion. The steps are carried out one at a time, in order, by
// ProjectUploadJob.
struct UploadStep {
    enum Kind { Descriptor = 1, File = 2, DeleteFile = 3 };
    // How the value a descriptor holds before the plan runs reads back, so that it can be
    // written again when the plan fails: None (not restored), Flag ("да"/"нет", written
    // as 1/0) or Number (a decimal number, written as it is).
    enum class Restore { None, Flag, Number };

    Kind kind = Descriptor;
    // The line shown for the step.
    QString caption;
    // Descriptor name with its "desc_" prefix (Descriptor), or the device file path.
    QString name;
    // The value written (Descriptor).
    QString value;
    // The file's content (File).
    QByteArray data;
    Restore restore = Restore::None;
    // The console or unit the step is for: its serial number and RS-485 address (0: none).
    quint32 serial = 0;
    int address = 0;

    // The step on one line, as the window lists it and the command-line tool prints it:
    // the caption and what goes to the device.
    QString line() const;
};

// The steps of a plan and the reasons it cannot run. A plan with errors is never run:
// nothing of it is written.
struct UploadPlan {
    QList<UploadStep> steps;
    QStringList errors;
    // The rows of the confirmation of the write-project dialog (label, value).
    QList<QPair<QString, QString>> rows;

    bool runnable() const { return errors.isEmpty(); }
    QStringList lines() const;
};

// Builds the plans that carry a project into a central unit. Pure functions of the project:
// nothing is sent, nothing is changed.
class ProjectUploadPlan {
public:
    static constexpr int maxConsoleAddress = 32;
    static constexpr int maxExtensionAddress = 9;

    // The project upload: for every microphone console (type 6) of the unit's parent group,
    // in project order, with serial s and RS-485 address a: disable slot a, write its key
    // file "0:\links\<s>.lnk" (or delete that file when the console has no key
    // assignments), write s into slot a, enable slot a. Consoles at address 0 or above 32,
    // and two consoles at one address, are errors; so is a key image that cannot be built.
    static UploadPlan consoles(const ProjectDevice *unit);

    // What the central unit window's "Загрузить из проекта" writes: the unit's name, its
    // RS-485 role and address, which console and extension-unit slots are on, its IP
    // address, and each console's key file "0:\keys\keys<a>.bin" (deleted when the console
    // has no key assignments). Consoles outside 1..32, extension units outside 1..9 and two
    // devices of a kind at one address are errors.
    // `build` is the unit's firmware build when known (-1 otherwise): units before
    // TovikStatus::newerDescriptorsBuild have no name to write, and it is left out.
    static UploadPlan unitSettings(const ProjectDevice *unit, int build = -1);

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
