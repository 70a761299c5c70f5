#pragma once

#include "journal/audittrail.h"
#include "journal/journallocation.h"

#include <QString>

#include <memory>

class SyslogForwarder;

// The audit trail of a command that changes devices or users: the journal where the users
// are looked for (see CliAccess), made the process's default trail for as long as the
// object lives. A trail that cannot be written stops the command before it reaches a device.
class CliAudit {
public:
    CliAudit();
    ~CliAudit();
    // False with the exit status reported when the trail cannot be opened.
    // `syslog` (HOST:PORT, may be empty) gets a copy of every record.
    bool open(const JournalLocation &location, const QString &syslog, int *status);

private:
    std::unique_ptr<AuditTrail> m_trail;
    std::unique_ptr<SyslogForwarder> m_syslog;
};
