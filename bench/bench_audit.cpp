// The audit trail's cost per device write: every write appends one record (a locked
// transaction that reads the last record, hashes and inserts). Times N appends to an
// empty trail and to one that already holds M records, on an SQLite file (synchronous
// commits as the journal keeps them) or on a site database given by URL, and the
// verification of the whole trail.
//
//   bench_audit [--appends 2000] [--records 100000] [--database postgresql://...]

#include "journal/audittrail.h"
#include "journal/auditverifier.h"
#include "journal/readonlydatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

double appendMicroseconds(AuditTrail *trail, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (!trail->append(QStringLiteral("horn №1001 127.0.0.2"),
                           QLatin1String(AuditRecord::descriptorWrite),
                           {{QStringLiteral("name"), QStringLiteral("MaxVolume")},
                            {QStringLiteral("before"), QString::number(i)},
                            {QStringLiteral("after"), QString::number(i + 1)}}))
            return -1;
    }
    return timer.nsecsElapsed() / 1000.0 / count;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(' ', 0, 2)
                                          : QStringLiteral("?");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption appendsOption(QStringLiteral("appends"), QStringLiteral("Appends."),
                                           QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption recordsOption(QStringLiteral("records"),
                                           QStringLiteral("Records already in the trail."),
                                           QStringLiteral("M"), QStringLiteral("100000"));
    const QCommandLineOption databaseOption(QStringLiteral("database"),
                                            QStringLiteral("A site database (URL)."),
                                            QStringLiteral("URL"));
    parser.addOptions({appendsOption, recordsOption, databaseOption});
    parser.process(app);
    const int appends = parser.value(appendsOption).toInt();
    const int records = parser.value(recordsOption).toInt();
    QTextStream out(stdout);
    QTemporaryDir dir;
    const JournalLocation location = parser.isSet(databaseOption)
        ? JournalLocation::parse(parser.value(databaseOption))
        : JournalLocation::file(dir.filePath(QStringLiteral("log.sqlite")));
    out << "load average before: " << loadAverage() << Qt::endl;
    AuditTrail trail(location);
    if (!trail.isUsable()) {
        out << "cannot open the trail: " << trail.error() << Qt::endl;
        return 1;
    }
    out << "append to an empty trail: " << appendMicroseconds(&trail, appends) << " us each"
        << Qt::endl;
    appendMicroseconds(&trail, qMax(0, records - appends));
    out << "append to a trail of " << records << " records: " << appendMicroseconds(&trail, appends)
        << " us each" << Qt::endl;
    QElapsedTimer timer;
    timer.start();
    const ReadOnlyDatabase reader(location.isPostgres() ? location.text() : location.filePath());
    const AuditVerifier::Result result = AuditVerifier::verify(reader.database());
    out << "verify " << result.records << " records: " << timer.elapsed() << " ms ("
        << result.message << ")" << Qt::endl;
    out << "load average after: " << loadAverage() << Qt::endl;
    return 0;
}
