#pragma once

#include <QStringList>

// "norda-cli monitor PROJECT.mpj": headless monitoring of a project's devices with the
// console's core, recording into "log.sqlite" and "params.sqlite" in the current folder
// and printing one line per recorded event.
class MonitorCommand {
public:
    // args[0] is "monitor"; returns the exit status.
    static int run(const QStringList &args);
};
