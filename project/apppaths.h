#pragma once

#include <QString>

// Where the console keeps what it reads and writes.
//
// A build tree or a copy unpacked anywhere is portable: settings.ini and the folder
// "firmware" beside the executable, the journals in the current folder.
//
// An installed copy (the file share/norda-console/installed under the prefix of the
// executable's bin folder) writes nothing under its prefix: settings.ini under the user's
// configuration folder (~/.config/norda-console), the journals, added firmware files and
// screenshots under the user's data folder (~/.local/share/norda-console), which the
// console makes its current folder at start.
class AppPaths {
public:
    enum class Layout { Portable, Installed };

    static Layout layout();
    static bool isInstalled() { return layout() == Layout::Installed; }

    static QString settingsFile();
    // The folder of the journals and of everything else the console writes; created
    // when the copy is installed.
    static QString dataFolder();
    // The folder of the firmware files offered for update, where added files go.
    static QString firmwareFolder();
    // Where the central unit window saves screenshots: "screen" beside the executable, or
    // under the data folder of an installed copy. Not created here.
    static QString screenshotFolder();
    // Where file choosers start when nothing was chosen before.
    static QString documentsFolder();
    // Read-only files of an installed copy (<prefix>/share/norda-console).
    static QString installedShareFolder();
};
