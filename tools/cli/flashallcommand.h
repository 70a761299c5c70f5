#pragma once

#include <QStringList>

// "norda-cli device flash-all PROJECT.mpj IMAGE [--type KEY] [--group NAME] [--parallel N]
// [--command-port P]": one firmware image into every matching device of a project that has
// Ethernet, N at a time, with one line per device and a summary at the end.
class FlashAllCommand {
public:
    // `args` are the command's own (after "flash-all"); returns the exit status.
    static int run(const QStringList &args);
};
