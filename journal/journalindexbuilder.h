#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Builds missing indexes of an event database on the thread it was moved to, over a
// connection of its own. An index over millions of records takes seconds to build; the
// program that opened the file goes on meanwhile (DatabaseLog keeps its new records in
// memory until the build is over).
class JournalIndexBuilder : public QObject {
    Q_OBJECT

public:
    // `statements`: the CREATE INDEX statements to run, in order.
    JournalIndexBuilder(const QString &fileName, const QStringList &statements);

    // An SQLite event journal's time key column and its trigger, added when missing
    // (`hasTimeKey` says whether the column is there now), and the statements that make
    // its missing indexes, in order.
    static QStringList missingStatements(const QSqlDatabase &database, bool *hasTimeKey);

public slots:
    void run();

signals:
    // `error` is empty when every index was built.
    void done(const QString &error);

private:
    QString m_fileName;
    QStringList m_statements;
};
