#pragma once

#include <QStringList>

class ProjectDevice;

// "norda-cli device (--tcp HOST[:PORT] | --usb [VID:PID]) journal [--xlsx OUT.xlsx]": reads a
// central unit's event journal and prints it, one record a line, oldest first: time
// ("hh:mm:ss dd.MM.yyyy", local time), type ("событие"/"неисправность") and event text,
// separated by tabs. An empty journal prints nothing. With --xlsx the journal is also written
// as the central unit window exports it.
class UnitJournalCommand {
public:
    // `target` is null when no device was named. Returns the exit status.
    static int run(const ProjectDevice *target, quint16 port, int connectTimeoutMs,
                   const QStringList &params);
};
