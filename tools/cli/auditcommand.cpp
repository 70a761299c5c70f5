#include "tools/cli/auditcommand.h"

#include "journal/audittrail.h"
#include "journal/auditverifier.h"
#include "journal/journallocation.h"
#include "journal/readonlydatabase.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace {

const char auditHelp[] = "Usage: norda-cli audit list [--database FILE|URL] [--json]\n"
                         "       norda-cli audit verify DATABASE [--head HASH]\n"
                         "\n"
                         "list prints the audit trail of the journal (log.sqlite in the "
                         "current folder unless --database), oldest first: number, time "
                         "(UTC), user, host, device, action, details, hash (tab-separated, "
                         "or one JSON object per line).\n"
                         "verify checks the trail's hash chain: exit 0 when it is intact, "
                         "else 5 naming the first record altered, removed or inserted; "
                         "with --head (the hash of the newest record known elsewhere, e.g. "
                         "in the log collector) also records cut off the end.\n";

// Opens `path` read-only; null with the exit status reported.
std::unique_ptr<ReadOnlyDatabase> openReader(const QString &path, int *status)
{
    if (JournalLocation::looksLikeUrl(path)) {
        const JournalLocation location = JournalLocation::parse(path);
        if (!location.isPostgres()) {
            *status = CliOutput::fail(ExitUsage, location.error());
            return nullptr;
        }
    } else if (!QFileInfo(path).isFile()) {
        *status = CliOutput::fail(ExitCannotOpen,
                                  QStringLiteral("cannot open %1: no such file").arg(path));
        return nullptr;
    }
    auto reader = std::make_unique<ReadOnlyDatabase>(path);
    if (!reader->isOpen()) {
        *status = CliOutput::fail(
            ExitCannotOpen,
            QStringLiteral("cannot open %1: %2").arg(path, reader->error().trimmed()));
        return nullptr;
    }
    return reader;
}

} // namespace

int AuditCommand::run(const QStringList &args)
{
    const QString command = args.value(1);
    if (command == QLatin1String("list"))
        return list(args.mid(1));
    if (command == QLatin1String("verify"))
        return verify(args.mid(1));
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        CliOutput::out() << auditHelp;
        CliOutput::out().flush();
        return ExitOk;
    }
    CliOutput::err() << auditHelp;
    return CliOutput::fail(ExitUsage,
                           command.isEmpty()
                               ? QStringLiteral("say list or verify")
                               : QStringLiteral("unknown audit command '%1'").arg(command));
}

int AuditCommand::list(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Print the audit trail, oldest first."));
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("The journal: an SQLite file or a postgresql:// URL (log.sqlite)."),
        QStringLiteral("FILE|URL"), QStringLiteral("log.sqlite"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON object per line."));
    parser.addOptions({databaseOption, jsonOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 0, &status))
        return status;
    const auto reader = openReader(parser.value(databaseOption), &status);
    if (!reader)
        return status;
    bool ok = true;
    QString error;
    const QVector<AuditRecord> records =
        AuditTrail::read(reader->database(), AuditTrail::Filter(), &ok, &error);
    if (!ok)
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("cannot read the audit trail: %1").arg(error));
    QTextStream &out = CliOutput::out();
    for (const AuditRecord &record : records) {
        if (parser.isSet(jsonOption)) {
            const QJsonObject line {
                {QStringLiteral("record"), record.sequence},
                {QStringLiteral("time"), record.time},
                {QStringLiteral("user"), record.user},
                {QStringLiteral("host"), record.host},
                {QStringLiteral("device"), record.device},
                {QStringLiteral("action"), record.action},
                {QStringLiteral("details"), record.detailsObject()},
                {QStringLiteral("prev_hash"), record.prevHash},
                {QStringLiteral("hash"), record.hash},
            };
            out << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
        } else {
            QStringList fields {QString::number(record.sequence),
                                record.time,
                                record.user,
                                record.host,
                                record.device,
                                record.action,
                                record.details,
                                record.hash};
            for (QString &field : fields)
                field = CliOutput::printable(field).replace(QLatin1Char('\t'), QLatin1Char(' '));
            out << fields.join(QLatin1Char('\t')) << '\n';
        }
    }
    out.flush();
    return ExitOk;
}

int AuditCommand::verify(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Check the audit trail's hash chain."));
    parser.addPositionalArgument(QStringLiteral("DATABASE"),
                                 QStringLiteral("The journal: an SQLite file or a "
                                                "postgresql:// URL."));
    const QCommandLineOption headOption(
        QStringLiteral("head"),
        QStringLiteral("Hash of the newest record known elsewhere: records after it in the "
                       "trail are fine, its absence means records were cut off the end."),
        QStringLiteral("HASH"));
    parser.addOption(headOption);
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;
    const QString head = parser.value(headOption).trimmed();
    if (parser.isSet(headOption) &&
        (head.size() != 64 || QByteArray::fromHex(head.toLatin1()).size() != 32))
        return CliOutput::fail(ExitUsage, QStringLiteral("--head takes 64 hex digits"));
    const auto reader = openReader(parser.positionalArguments().first(), &status);
    if (!reader)
        return status;
    const AuditVerifier::Result result = AuditVerifier::verify(reader->database(), head);
    switch (result.finding) {
    case AuditVerifier::Finding::Intact:
        CliOutput::out() << result.message << "; last hash " << result.lastHash << Qt::endl;
        return ExitOk;
    case AuditVerifier::Finding::Unreadable:
        return CliOutput::fail(
            ExitUnusable, QStringLiteral("cannot read the audit trail: %1").arg(result.message));
    default:
        return CliOutput::fail(ExitFindings, result.message);
    }
}
