#pragma once

#include <QStringList>

// "norda-cli audit list [--database FILE|URL] [--json]": the audit trail, oldest first;
// "norda-cli audit verify DATABASE [--head HASH]": checks its hash chain (exit 5 naming
// the first record altered, removed, inserted or cut off the end).
class AuditCommand {
public:
    // args[0] is "audit"; returns the exit status.
    static int run(const QStringList &args);

private:
    static int list(const QStringList &args);
    static int verify(const QStringList &args);
};
