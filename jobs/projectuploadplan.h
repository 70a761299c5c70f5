#pragma once

#include "link/deviceconfigtable.h"

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

    Kind kind = Descriptor;
    // The line shown for the step.
    QString caption;
    // Descriptor name with its "desc_" prefix (Descriptor), or the device file path.
    QString name;
    // The value written (Descriptor).
    QString value;
    // The file's content (File).
    QByteArray data;
    // How the value the descriptor holds before the plan reads back, so that it can be
    // written again when the plan fails (DeviceConfigTable::writeText).
    DeviceConfigTable::Form form = DeviceConfigTable::Form::Text;
    // The console or unit the step is for: its serial number and RS-485 address (0: none).
    // A key file's address is its console's, whose slot is left off when the file cannot
    // be put back.
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
// nothing is sent, nothing is changed. What a plan refuses is what ProjectWriteRules
// refuses.
class ProjectUploadPlan {
public:
    // The project upload: for every microphone console (type 6) of the unit's parent group,
    // in project order, with serial s and RS-485 address a: disable slot a, write its key
    // file "0:\links\<s>.lnk" (or delete that file when the console has no key
    // assignments), write s into slot a, enable slot a. The consoles' errors of
    // ProjectWriteRules::bus() stop it.
    static UploadPlan consoles(const ProjectDevice *unit);

    // What the central unit window's "Загрузить из проекта" writes: the unit's name (when it
    // has one), its RS-485 role and address, which console and extension-unit slots are on,
    // its IP address (written without leading zeros), and each console's key file
    // "0:\keys\keys<a>.bin" (deleted when the console has no key assignments). Every error
    // of ProjectWriteRules stops it.
    // `build` is the unit's firmware build when known (-1 otherwise): units before
    // TovikStatus::newerDescriptorsBuild have no name to write, and it is left out.
    static UploadPlan unitSettings(const ProjectDevice *unit, int build = -1);
};
