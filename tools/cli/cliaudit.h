#pragma once

#include "journal/audittrail.h"

#include <QString>

#include <memory>

// The audit trail of a command that changes devices: the journal named by --database, else
// log.sqlite in the current folder, made the process's default trail for as long as the
// object lives. A trail that cannot be written stops the command before it reaches a device.
class CliAudit {
public:
    static constexpr const char *defaultDatabase = "log.sqlite";

    ~CliAudit();
    // False with the exit status reported when the trail cannot be opened.
    bool open(const QString &database, int *status);

private:
    std::unique_ptr<AuditTrail> m_trail;
};
