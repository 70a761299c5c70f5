#include "tools/cli/cliaudit.h"

#include "journal/journallocation.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

CliAudit::~CliAudit()
{
    if (m_trail && AuditTrail::defaultTrail() == m_trail.get())
        AuditTrail::setDefaultTrail(nullptr);
}

bool CliAudit::open(const QString &database, int *status)
{
    const QString where = database.isEmpty() ? QLatin1String(defaultDatabase) : database;
    const JournalLocation location = JournalLocation::looksLikeUrl(where)
        ? JournalLocation::parse(where)
        : JournalLocation::file(where);
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
                                                 "nothing is sent to the device")
                                      .arg(where, why.trimmed()));
        return false;
    }
    AuditTrail::setDefaultTrail(m_trail.get());
    return true;
}
