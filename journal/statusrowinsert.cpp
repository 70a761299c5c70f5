#include "journal/statusrowinsert.h"

#include "journal/databasewrapper.h"
#include "journal/sqldialect.h"

#include <QVariantList>

QString StatusRowInsert::statement(bool server, int rows)
{
    // On the site's server the time is also kept as a timestamp.
    const QString columns = server
        ? QStringLiteral("(device_unique_id, status_json, param_time, time)")
        : QStringLiteral("(device_unique_id, status_json, param_time)");
    const QString values =
        server ? QStringLiteral("(?, ?, ?, CAST(? AS timestamptz))") : QStringLiteral("(?, ?, ?)");
    QString text = QStringLiteral("INSERT INTO status_log ") + columns + QStringLiteral(" VALUES ");
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            text += QStringLiteral(", ");
        text += values;
    }
    return text + QLatin1Char(';');
}

bool StatusRowInsert::write(DatabaseWrapper *database, const QVector<Row> &rows)
{
    const bool server = database->dialect().isPostgres();
    static const QString many[2] = {statement(false, rowsPerStatement),
                                    statement(true, rowsPerStatement)};
    static const QString one[2] = {statement(false, 1), statement(true, 1)};
    QVariantList values;
    for (int first = 0; first < rows.size();) {
        const int count = rows.size() - first >= rowsPerStatement ? rowsPerStatement : 1;
        values.clear();
        for (int i = first; i < first + count; ++i) {
            const Row &row = rows.at(i);
            values << row.deviceId << DatabaseWrapper::textValue(row.json) << row.time;
            if (server)
                values << SqlDialect::timestampText(DatabaseWrapper::parseTime(row.time));
        }
        QSqlQuery *query =
            database->run(count == 1 ? one[server ? 1 : 0] : many[server ? 1 : 0], values);
        database->done(query);
        if (!query)
            return false;
        first += count;
    }
    return true;
}
