#pragma once

#include "journal/eventrecord.h"

#include <QFile>
#include <QLockFile>
#include <QString>
#include <QVector>

#include <memory>

// Events that could not be written to the site database, kept in a local append-only file
// until they can: one JSON object per line, each written and flushed to the disk before
// the event counts as kept, so that neither a crash of the program nor of the machine
// loses one. A torn last line (the program stopped half-way through writing it) is cut
// off when the file is opened; a line that is not an event is skipped.
//
// Every event carries the journal's highest record number known when it was kept (the
// watermark): a record of the same device with a higher number was written by someone
// else after this program lost the server, and the event is then not written any more.
//
// The file is locked while open: two programs never share one.
class EventSpill {
public:
    struct Entry {
        EventRecord record;
        qint64 watermark = 0;
    };

    explicit EventSpill(const QString &path);
    ~EventSpill();
    EventSpill(const EventSpill &) = delete;
    EventSpill &operator=(const EventSpill &) = delete;

    // Opens (creating) and locks the file; false with `error` set.
    bool open(QString *error);
    QString path() const { return m_path; }
    bool isEmpty() const { return m_count == 0; }
    int count() const { return m_count; }
    // Lines cut off or skipped when the file was read.
    int damagedLines() const { return m_damaged; }
    // The highest watermark kept (0: none).
    qint64 lastWatermark() const { return m_lastWatermark; }

    // Appends the records and syncs the file; false with `error` set (nothing counts as
    // kept then).
    bool append(const QVector<EventRecord> &records, qint64 watermark, QString *error);
    // Every event kept, oldest first.
    QVector<Entry> entries();
    // Empties the file once its events are written.
    bool clear(QString *error);

    // One line of the file, and its reading (false for a line that is not an event).
    static QByteArray line(const EventRecord &record, qint64 watermark);
    static bool parseLine(const QByteArray &line, Entry *entry);

private:
    bool sync(QString *error);

    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QFile m_file;
    int m_count = 0;
    int m_damaged = 0;
    qint64 m_lastWatermark = 0;
};
