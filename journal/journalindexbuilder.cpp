#include "journal/journalindexbuilder.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QAtomicInt builders;

// The builder waits this long for the lock of a writer (another program; the console's
// own commits take milliseconds).
constexpr int lockWaitMs = 60000;

} // namespace

JournalIndexBuilder::JournalIndexBuilder(const QString &fileName, const QStringList &statements)
    : m_fileName(fileName)
    , m_statements(statements)
{
}

void JournalIndexBuilder::run()
{
    const QString name = QStringLiteral("norda-index-%1").arg(builders.fetchAndAddRelaxed(1));
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_fileName);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(lockWaitMs));
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            for (const QString &statement : qAsConst(m_statements)) {
                QSqlQuery query(db);
                if (!query.exec(statement)) {
                    error = query.lastError().text();
                    break;
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    emit done(error);
}
