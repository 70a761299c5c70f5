#include "link/filelisting.h"

#include "link/connectiondevice.h"

QVector<FileListing::Entry> FileListing::parse(const QString &folder, const QString &answer)
{
    QVector<Entry> entries;
    const QStringList lines = answer.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        Entry entry;
        if (line.startsWith(QLatin1Char('/'))) {
            entry.folder = true;
            entry.name = line.mid(1);
        } else {
            const QStringList parts = line.split(QLatin1Char('\t'));
            entry.name = parts.at(0);
            if (parts.size() > 1) {
                bool ok = false;
                const qint64 size = parts.at(1).trimmed().toLongLong(&ok);
                if (ok && size >= 0)
                    entry.size = size;
            }
        }
        if (entry.name.isEmpty() || entry.name == QLatin1String(".") ||
            entry.name == QLatin1String("..") || entry.name.contains(QLatin1Char('\\')) ||
            entry.name.contains(QLatin1Char('/')))
            continue;
        // A name with a carriage return inside could never be named in a request.
        if (!ConnectionDevice::isWireText(entry.name))
            continue;
        entry.path = folder + QLatin1Char('\\') + entry.name;
        entries.append(entry);
    }
    return entries;
}
