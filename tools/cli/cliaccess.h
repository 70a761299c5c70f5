#pragma once

#include "journal/journallocation.h"

#include <QString>
#include <QStringList>

// The log-in of a norda-cli run: where the users are, who acts and with which password.
//
// The users are looked for in --database (a file or a URL), else in the journal of the
// installed console's data folder, else in "log.sqlite" in the working folder; the tool
// says which it used. Without users everything is allowed, as before users existed.
// Passwords come from a prompt without echo or from a file's first line, never from the
// command line.
class CliAccess {
public:
    struct Options {
        QString database;
        QString user;
        QString passwordFile;
        QString newPasswordFile;
        QString syslog; // where the audit trail's records are copied (HOST:PORT)
    };

    // Takes an access option (`option` and its value from the front of `rest`) into
    // `options`: 1 taken, 0 not an access option, -1 its value is missing.
    static int takeOption(const QString &option, QStringList *rest, Options *options);
    // `inWorkingFolder` is set when nothing better than log.sqlite in the working folder
    // was found.
    static JournalLocation locate(const QString &database, QString *how,
                                  bool *inWorkingFolder = nullptr);
    // 0 when the command needing `level` may run, else the exit status after saying why
    // (nothing has been sent to any device then). `acting` gets the user's name.
    static int authorize(const Options &options, int level, QString *acting = nullptr);
    // The first line of `file` without its line end, or a prompt on the terminal without
    // echo. False with `error` set.
    static bool readPassword(const QString &file, const QString &prompt, QString *password,
                             QString *error);
    static const char optionsHelp[];
};
