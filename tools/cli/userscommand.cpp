#include "tools/cli/userscommand.h"

#include "journal/userstore.h"
#include "project/accesslevels.h"
#include "tools/cli/cliaccess.h"
#include "tools/cli/cliaudit.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QFileInfo>

namespace {

const char usersHelp[] =
    "Usage: norda-cli users [options] add NAME --level N\n"
    "       norda-cli users [options] passwd NAME\n"
    "       norda-cli users [options] remove NAME\n"
    "       norda-cli users [options] list\n"
    "\n"
    "Levels: 1 look, 2 operator, 3 installer, 4 factory. The first user must have level 4;\n"
    "afterwards add, passwd and remove need --user of level 4 (changing one's own password\n"
    "needs one's own, old password).\n"
    "\n"
    "Options:\n"
    "%1"
    "  --new-password-file FILE   the new password: the file's first line (default: asked\n"
    "                             twice without echo)\n"
    "\n"
    "Exit status: 0 done, 1 bad command line, 2 the database cannot be opened, 4 the change\n"
    "was refused (a name that exists, the first user not of level 4, ...), 6 not allowed:\n"
    "no or a wrong log-in, or a level below 4.\n";

QString helpText()
{
    return QString::fromUtf8(usersHelp).arg(QString::fromUtf8(CliAccess::optionsHelp));
}

int usage(const QString &message)
{
    CliOutput::err() << helpText();
    return CliOutput::fail(ExitUsage, message);
}

bool newPassword(const CliAccess::Options &options, const QString &name, QString *password,
                 QString *error)
{
    const QString prompt = QStringLiteral("New password of %1").arg(name);
    if (!CliAccess::readPassword(options.newPasswordFile, prompt, password, error))
        return false;
    if (!options.newPasswordFile.isEmpty())
        return true;
    QString again;
    if (!CliAccess::readPassword(QString(), prompt + QStringLiteral(" (again)"), &again, error))
        return false;
    if (again != *password) {
        *error = QStringLiteral("the passwords differ");
        return false;
    }
    return true;
}

} // namespace

int UsersCommand::run(const QStringList &args)
{
    QStringList rest = args.mid(1);
    CliAccess::Options options;
    QStringList words;
    int level = 0;
    while (!rest.isEmpty()) {
        const QString arg = rest.takeFirst();
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            CliOutput::out() << helpText();
            CliOutput::out().flush();
            return ExitOk;
        }
        if (arg == QLatin1String("--level")) {
            bool ok = false;
            level = rest.isEmpty() ? 0 : rest.takeFirst().toInt(&ok);
            if (!ok || !AccessLevels::isValidLevel(level))
                return usage(QStringLiteral("--level needs 1, 2, 3 or 4"));
            continue;
        }
        const int taken = CliAccess::takeOption(arg, &rest, &options);
        if (taken < 0)
            return usage(QStringLiteral("%1 needs a value").arg(arg));
        if (taken == 0 && arg.startsWith(QLatin1String("--")))
            return usage(QStringLiteral("unknown option '%1'").arg(arg));
        if (taken == 0)
            words << arg;
    }
    const QString command = words.value(0);
    const QString name = words.value(1);
    const int needed =
        AccessLevels::required(AccessLevels::Place::Cli, QStringLiteral("users ") + command);
    if (needed == 0)
        return usage(command.isEmpty() ? QStringLiteral("say what to do")
                                       : QStringLiteral("unknown users command '%1'").arg(command));
    if (words.size() != (command == QLatin1String("list") ? 1 : 2))
        return usage(QStringLiteral("wrong number of arguments"));
    if (command == QLatin1String("add") && level == 0)
        return usage(QStringLiteral("add needs --level N"));

    QString how;
    const JournalLocation location = CliAccess::locate(options.database, &how);
    if (!location.isValid())
        return usage(location.error());
    const bool missing = !location.isPostgres() && !QFileInfo(location.filePath()).isFile();
    if (missing && command != QLatin1String("add")) {
        CliOutput::err() << "norda-cli: users from " << location.text() << " (" << how << ")\n";
        CliOutput::out() << "no users are defined\n";
        CliOutput::out().flush();
        return command == QLatin1String("list") ? ExitOk : ExitFailed;
    }
    UserStore store(location);
    QString error;
    if (!store.open(&error))
        return CliOutput::fail(ExitCannotOpen, error);

    if (command == QLatin1String("list")) {
        CliOutput::err() << "norda-cli: users from " << location.text() << " (" << how << ")\n";
        CliOutput::err().flush();
        QTextStream &out = CliOutput::out();
        const QVector<UserStore::User> users = store.users(&error);
        if (!error.isEmpty())
            return CliOutput::fail(ExitCannotOpen, error);
        if (users.isEmpty())
            out << "no users are defined\n";
        for (const UserStore::User &user : users)
            out << user.name << '\t' << user.level << '\t' << AccessLevels::levelName(user.level)
                << '\t' << user.failedLogins << '\n';
        out.flush();
        return ExitOk;
    }

    // Changes of the users are recorded in the trail beside them, log-ins included.
    CliAudit audit;
    int status = ExitOk;
    if (!audit.open(location, options.syslog, &status))
        return status;
    // Once users exist every change needs a log-in; one's own password needs one's own.
    QString acting;
    if (store.hasUsers() || !options.user.isEmpty()) {
        const bool own = command == QLatin1String("passwd") && options.user == name;
        if (const int status =
                CliAccess::authorize(options, own ? int(AccessLevels::Look) : needed, &acting))
            return status;
    } else {
        CliOutput::err() << "norda-cli: users in " << location.text() << " (" << how << ")\n";
    }
    const QString by = acting.isEmpty() ? QStringLiteral("(first user)") : acting;
    bool done = false;
    if (command == QLatin1String("remove")) {
        done = store.remove(name, by, &error);
    } else {
        QString password;
        if (!newPassword(options, name, &password, &error))
            return CliOutput::fail(ExitUsage, error);
        done = command == QLatin1String("add") ? store.add(name, level, password, by, &error)
                                               : store.setPassword(name, password, by, &error);
    }
    if (!done)
        return CliOutput::fail(ExitFailed, error);
    CliOutput::out() << "users " << command << ' ' << name << ": done\n";
    CliOutput::out().flush();
    return ExitOk;
}
