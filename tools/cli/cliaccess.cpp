#include "tools/cli/cliaccess.h"

#include "journal/userstore.h"
#include "project/accesslevels.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <termios.h>
#include <unistd.h>

#include <cstdio>

const char CliAccess::optionsHelp[] =
    "  --database FILE|URL        where the users are (default: the installed console's\n"
    "                             journal, else log.sqlite in the working folder)\n"
    "  --user NAME                who acts (needed once users exist)\n"
    "  --password-file FILE       NAME's password: the file's first line (default: asked\n"
    "                             without echo)\n"
    "  --syslog HOST:PORT         also send each record of the audit trail to a log\n"
    "                             collector over UDP\n";

int CliAccess::takeOption(const QString &option, QStringList *rest, Options *options)
{
    QString *target = nullptr;
    if (option == QLatin1String("--database"))
        target = &options->database;
    else if (option == QLatin1String("--user"))
        target = &options->user;
    else if (option == QLatin1String("--password-file"))
        target = &options->passwordFile;
    else if (option == QLatin1String("--new-password-file"))
        target = &options->newPasswordFile;
    else if (option == QLatin1String("--syslog"))
        target = &options->syslog;
    if (!target)
        return 0;
    if (rest->isEmpty())
        return -1;
    *target = rest->takeFirst();
    return 1;
}

JournalLocation CliAccess::locate(const QString &database, QString *how, bool *inWorkingFolder)
{
    if (inWorkingFolder)
        *inWorkingFolder = false;
    if (!database.isEmpty()) {
        *how = QStringLiteral("--database");
        return JournalLocation::parse(database);
    }
    const QString installed =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/norda-console/log.sqlite");
    if (QFileInfo(installed).isFile()) {
        *how = QStringLiteral("the installed console's data folder");
        return JournalLocation::file(installed);
    }
    *how = QStringLiteral("the working folder");
    if (inWorkingFolder)
        *inWorkingFolder = true;
    return JournalLocation::file(QDir::current().absoluteFilePath(QStringLiteral("log.sqlite")));
}

bool CliAccess::readPassword(const QString &file, const QString &prompt, QString *password,
                             QString *error)
{
    QByteArray line;
    if (!file.isEmpty()) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(file, in.errorString());
            return false;
        }
        line = in.read(4096);
        const int end = line.indexOf('\n');
        if (end >= 0)
            line.truncate(end);
        if (line.endsWith('\r'))
            line.chop(1);
    } else {
        if (!isatty(STDIN_FILENO)) {
            *error = QStringLiteral("no terminal to ask for the password: use --password-file");
            return false;
        }
        CliOutput::err() << prompt << ": ";
        CliOutput::err().flush();
        termios saved {};
        const bool echoOff = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (echoOff) {
            termios quiet = saved;
            quiet.c_lflag &= tcflag_t(~ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
        char buffer[1024];
        const bool got = fgets(buffer, sizeof buffer, stdin) != nullptr;
        if (echoOff)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        CliOutput::err() << '\n';
        CliOutput::err().flush();
        if (got)
            line = QByteArray(buffer).split('\n').value(0);
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (line.isEmpty()) {
        *error = QStringLiteral("empty password");
        return false;
    }
    *password = QString::fromUtf8(line);
    return true;
}

int CliAccess::authorize(const Options &options, int level, QString *acting)
{
    if (level <= AccessLevels::Look && options.user.isEmpty())
        return ExitOk;
    QString how;
    const JournalLocation location = locate(options.database, &how);
    if (!location.isValid())
        return CliOutput::fail(ExitUsage, location.error());
    auto sayWhere = [&] {
        CliOutput::err() << "norda-cli: users from " << location.text() << " (" << how << ")\n";
        CliOutput::err().flush();
    };
    // A file that does not exist holds no users; it is not made by looking.
    if (!location.isPostgres() && !QFileInfo(location.filePath()).isFile()) {
        if (!options.user.isEmpty()) {
            sayWhere();
            return CliOutput::fail(ExitRefused, QStringLiteral("no users are defined there"));
        }
        return ExitOk;
    }
    UserStore store(location);
    QString error;
    if (!store.open(&error))
        return CliOutput::fail(ExitCannotOpen, error);
    if (!store.hasUsers() && options.user.isEmpty())
        return ExitOk;
    sayWhere();
    if (options.user.isEmpty())
        return CliOutput::fail(ExitRefused,
                               QStringLiteral("users are defined: say who acts with --user NAME "
                                              "(%1 needed)")
                                   .arg(QStringLiteral("level %1 is needed").arg(level)));
    QString password;
    if (!readPassword(options.passwordFile, QStringLiteral("Password of %1").arg(options.user),
                      &password, &error))
        return CliOutput::fail(ExitUsage, error);
    const UserStore::Verdict verdict = store.verify(options.user, password);
    switch (verdict.check) {
    case UserStore::Check::Ok:
        break;
    case UserStore::Check::Waiting:
        return CliOutput::fail(ExitRefused,
                               QStringLiteral("too many failed log-ins of %1: try again in %2 s")
                                   .arg(options.user)
                                   .arg((verdict.waitMs + 999) / 1000));
    case UserStore::Check::Failed:
        return CliOutput::fail(ExitCannotOpen, verdict.error);
    default:
        return CliOutput::fail(ExitRefused, QStringLiteral("wrong user name or password"));
    }
    if (acting)
        *acting = options.user;
    if (verdict.level < level)
        return CliOutput::fail(ExitRefused,
                               QStringLiteral("%1 has level %2, %3")
                                   .arg(options.user)
                                   .arg(verdict.level)
                                   .arg(QStringLiteral("level %1 is needed").arg(level)));
    return ExitOk;
}
