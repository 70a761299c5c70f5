#pragma once

#include <QString>

class CliDeviceLink;

// "norda-cli device ... screen OUT.png": reads a central unit's screen once and saves it as
// a PNG picture drawn exactly as the central unit window's screen frame draws it
// (1040 x 272). A refused, failed or incomplete answer is an error, never an empty picture.
class ScreenCommand {
public:
    // Returns the exit status.
    static int run(CliDeviceLink &link, const QString &output);
};
