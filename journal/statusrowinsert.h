#pragma once

#include <QString>
#include <QVector>

class DatabaseWrapper;

// Writes status documents into the status journal (`status_log`), many rows to a
// statement: at ten thousand documents a second, a statement of its own per document cost
// more than the row itself. The rows keep their order.
class StatusRowInsert {
public:
    struct Row {
        int deviceId;
        QString json;
        QString time; // the journal's time text
    };

    // Rows per statement; what is left over goes one row at a time, so that only two
    // statements are ever prepared.
    static constexpr int rowsPerStatement = 32;

    // False as soon as a statement failed (the database logged why).
    static bool write(DatabaseWrapper *database, const QVector<Row> &rows);

private:
    static QString statement(bool server, int rows);
};
