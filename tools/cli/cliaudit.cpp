#include "tools/cli/cliaudit.h"

#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

CliAudit::~CliAudit()
{
    if (m_trail && AuditTrail::defaultTrail() == m_trail.get())
        AuditTrail::setDefaultTrail(nullptr);
}

bool CliAudit::open(const JournalLocation &location, int *status)
{
    if (!location.isValid()) {
        *status =
            CliOutput::fail(ExitUsage, QStringLiteral("--database: %1").arg(location.error()));
        return false;
    }
    m_trail = std::make_unique<AuditTrail>(location);
    if (!m_trail->isUsable()) {
        const QString why = m_trail->error();
        *status = CliOutput::fail(ExitCannotOpen,
                                  QStringLiteral("cannot write the audit trail in %1 (%2): "
                                                 "nothing is changed")
                                      .arg(location.text(), why.trimmed()));
        return false;
    }
    AuditTrail::setDefaultTrail(m_trail.get());
    return true;
}
