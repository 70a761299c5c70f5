#pragma once

#include <QStringList>

// "norda-cli journal export LOG.sqlite OUT.xlsx": the event database as the same
// spreadsheet the console's "Экспорт..." writes; "norda-cli journal query LOG.sqlite":
// the records a filter of the history matches, newest first. Both also read a site
// database. "init-db URL" makes a site database's schema and roles; "copy --from --to"
// moves a journal between files and site databases.
class JournalCommand {
public:
    // args[0] is "journal"; returns the exit status.
    static int run(const QStringList &args);

private:
    static int exportJournal(const QStringList &args);
    static int query(const QStringList &args);
    static int initDb(const QStringList &args);
    static int copy(const QStringList &args);
};
