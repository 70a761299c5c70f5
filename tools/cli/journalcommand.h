#pragma once

#include <QStringList>

// "norda-cli journal export LOG.sqlite OUT.xlsx": the event database as the same
// spreadsheet the console's "Экспорт..." writes.
class JournalCommand {
public:
    // args[0] is "journal"; returns the exit status.
    static int run(const QStringList &args);

private:
    static int exportJournal(const QStringList &args);
};
