#include "journal/eventspill.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace {

// A line longer than this is not one of ours.
constexpr int maxLineBytes = 64 * 1024;

} // namespace

EventSpill::EventSpill(const QString &path)
    : m_path(path)
    , m_file(path)
{
}

EventSpill::~EventSpill()
{
    m_file.close();
}

bool EventSpill::open(QString *error)
{
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        *error = QStringLiteral("%1 is in use by another program").arg(m_path);
        m_lock.reset();
        return false;
    }
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_path, m_file.errorString());
        return false;
    }
    // Counts what is kept; a torn last line is cut off so that the next one starts clean.
    m_file.seek(0);
    qint64 complete = 0;
    m_count = m_damaged = 0;
    while (!m_file.atEnd()) {
        const QByteArray text = m_file.readLine(maxLineBytes);
        if (!text.endsWith('\n')) {
            ++m_damaged;
            if (m_file.atEnd())
                break;
            continue;
        }
        complete = m_file.pos();
        Entry entry;
        if (parseLine(text, &entry)) {
            ++m_count;
            m_lastWatermark = qMax(m_lastWatermark, entry.watermark);
        } else {
            ++m_damaged;
        }
    }
    if (complete < m_file.size() && !m_file.resize(complete)) {
        *error =
            QStringLiteral("cannot cut the torn end of %1: %2").arg(m_path, m_file.errorString());
        return false;
    }
    return sync(error);
}

QByteArray EventSpill::line(const EventRecord &record, qint64 watermark)
{
    const QJsonObject object {
        {QStringLiteral("w"), double(watermark)}, {QStringLiteral("d"), record.deviceId},
        {QStringLiteral("c"), record.code},       {QStringLiteral("t"), record.time},
        {QStringLiteral("s"), record.seen},       {QStringLiteral("x"), record.description}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool EventSpill::parseLine(const QByteArray &line, Entry *entry)
{
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    for (const char *key : {"w", "d", "c", "s"}) {
        if (!object.value(QLatin1String(key)).isDouble())
            return false;
    }
    if (!object.value(QLatin1String("t")).isString())
        return false;
    entry->watermark = qint64(object.value(QLatin1String("w")).toDouble());
    entry->record.deviceId = object.value(QLatin1String("d")).toInt();
    entry->record.code = object.value(QLatin1String("c")).toInt();
    entry->record.time = object.value(QLatin1String("t")).toString();
    entry->record.seen = object.value(QLatin1String("s")).toInt();
    entry->record.description = object.value(QLatin1String("x")).toString();
    return true;
}

bool EventSpill::append(const QVector<EventRecord> &records, qint64 watermark, QString *error)
{
    if (records.isEmpty())
        return true;
    if (!m_file.isOpen()) {
        *error = QStringLiteral("%1 is not open").arg(m_path);
        return false;
    }
    QByteArray text;
    for (const EventRecord &record : records)
        text += line(record, watermark);
    const qint64 start = m_file.size();
    if (m_file.write(text) != text.size() || !sync(error)) {
        if (error->isEmpty())
            *error = m_file.errorString();
        // Half a write is no record: the file ends where it did.
        m_file.resize(start);
        return false;
    }
    m_count += records.size();
    m_lastWatermark = qMax(m_lastWatermark, watermark);
    return true;
}

QVector<EventSpill::Entry> EventSpill::entries()
{
    QVector<Entry> list;
    if (!m_file.isOpen())
        return list;
    m_file.seek(0);
    while (!m_file.atEnd()) {
        Entry entry;
        const QByteArray text = m_file.readLine(maxLineBytes);
        if (text.endsWith('\n') && parseLine(text, &entry))
            list.append(entry);
    }
    m_file.seek(m_file.size());
    return list;
}

bool EventSpill::clear(QString *error)
{
    if (!m_file.resize(0)) {
        *error = m_file.errorString();
        return false;
    }
    m_count = 0;
    return sync(error);
}

bool EventSpill::sync(QString *error)
{
    if (!m_file.flush() || ::fsync(m_file.handle()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_path, m_file.errorString());
        return false;
    }
    return true;
}
