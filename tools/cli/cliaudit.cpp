#include "tools/cli/cliaudit.h"

#include "monitor/syslogforwarder.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// How long the copies wait for the collector's name to resolve before the tool ends.
constexpr int resolveWaitMs = 3000;

} // namespace

CliAudit::CliAudit() = default;

CliAudit::~CliAudit()
{
    if (m_syslog && m_syslog->isResolving()) {
        QEventLoop loop;
        QObject::connect(m_syslog.get(), &SyslogForwarder::resolved, &loop, &QEventLoop::quit);
        QTimer::singleShot(resolveWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (m_trail && AuditTrail::defaultTrail() == m_trail.get())
        AuditTrail::setDefaultTrail(nullptr);
}

bool CliAudit::open(const JournalLocation &location, const QString &syslog, int *status)
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
    if (!syslog.isEmpty()) {
        m_syslog = std::make_unique<SyslogForwarder>();
        QString error;
        if (!m_syslog->setTarget(syslog, &error)) {
            *status = CliOutput::fail(ExitUsage, QStringLiteral("--syslog: %1").arg(error));
            return false;
        }
        QObject::connect(m_trail.get(), &AuditTrail::appended, m_syslog.get(),
                         &SyslogForwarder::forwardAudit);
    }
    AuditTrail::setDefaultTrail(m_trail.get());
    return true;
}
