#include "tools/devsim/simfilesystem.h"

SimFileSystem::SimFileSystem()
{
    folders.insert(QStringLiteral("0:"));
    folders.insert(QStringLiteral("1:"));
}

bool SimFileSystem::validPath(const QString &path)
{
    return (path.startsWith(QLatin1String("0:\\")) || path.startsWith(QLatin1String("1:\\"))) &&
        path.size() > 3 && path.size() <= 255 && !path.contains(QLatin1String("..")) &&
        !path.endsWith(QLatin1Char('\\')) && !path.contains(QLatin1Char('/'));
}

QString SimFileSystem::key(const QString &path)
{
    return path.toLower();
}

QString SimFileSystem::parentOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('\\')));
}

bool SimFileSystem::exists(const QString &path) const
{
    return files.contains(key(path));
}

QByteArray SimFileSystem::file(const QString &path) const
{
    return files.value(key(path)).data;
}

bool SimFileSystem::makeDir(const QString &dir)
{
    if (!validPath(dir))
        return false;
    QString folder = dir;
    while (folder.size() > 2) {
        folders.insert(key(folder));
        folder = parentOf(folder);
    }
    return true;
}

void SimFileSystem::format(const QString &unit)
{
    const QString prefix = key(unit) + QLatin1Char('\\');
    for (auto it = files.begin(); it != files.end();)
        it = it.key().startsWith(prefix) ? files.erase(it) : std::next(it);
    for (auto it = folders.begin(); it != folders.end();)
        it = it->startsWith(prefix) ? folders.erase(it) : std::next(it);
    resetTransfer();
    makeDir(unit + QStringLiteral("\\audio"));
}

bool SimFileSystem::store(const QString &path, const QByteArray &data)
{
    if (!validPath(path))
        return false;
    const qint64 previous = files.value(key(path)).data.size();
    if (used() - previous + data.size() > capacity)
        return false;
    makeDir(parentOf(path));
    files.insert(key(path), Entry {path, data});
    return true;
}

bool SimFileSystem::remove(const QString &path)
{
    return files.remove(key(path)) > 0;
}

bool SimFileSystem::clearDir(const QString &dir)
{
    if (!folders.contains(key(dir)))
        return false;
    const QString prefix = key(dir) + QLatin1Char('\\');
    for (auto it = files.begin(); it != files.end();) {
        const QString rest = it.key().mid(prefix.size());
        if (it.key().startsWith(prefix) && !rest.contains(QLatin1Char('\\')))
            it = files.erase(it);
        else
            ++it;
    }
    return true;
}

bool SimFileSystem::listing(const QString &dir, QStringList *lines) const
{
    if (!folders.contains(key(dir)))
        return false;
    const QString prefix = key(dir) + QLatin1Char('\\');
    for (const QString &folder : folders) {
        const QString rest = folder.mid(prefix.size());
        if (folder.startsWith(prefix) && !rest.isEmpty() && !rest.contains(QLatin1Char('\\')))
            lines->append(QLatin1Char('/') + rest);
    }
    lines->sort();
    for (const Entry &entry : files) {
        const QString rest = entry.path.mid(prefix.size());
        if (key(entry.path).startsWith(prefix) && !rest.contains(QLatin1Char('\\')))
            lines->append(rest + QLatin1Char('\t') + QString::number(entry.data.size()));
    }
    return true;
}

qint64 SimFileSystem::used() const
{
    qint64 total = 0;
    for (const Entry &entry : files)
        total += entry.data.size();
    return total;
}

bool SimFileSystem::beginWrite(const QString &path)
{
    // As on the device: the file is created (or cut to nothing) at once, and each block is
    // appended to it as it comes; an upload that is cut off leaves what it had written.
    if ((strictTransfers && transfer != Transfer::None) || !validPath(path) ||
        folders.contains(key(path)) || !store(path, QByteArray()))
        return false;
    transfer = Transfer::Writing;
    transferPath = path;
    transferData.clear();
    return true;
}

bool SimFileSystem::writeBlock(const QByteArray &bytes)
{
    if (transfer != Transfer::Writing)
        return false;
    if (used() + bytes.size() > capacity)
        return false;
    transferData.append(bytes);
    return store(transferPath, transferData);
}

bool SimFileSystem::beginRead(const QString &path)
{
    if ((strictTransfers && transfer != Transfer::None) || !exists(path))
        return false;
    transfer = Transfer::Reading;
    transferPath = path;
    transferData = file(path);
    readPosition = 0;
    return true;
}

bool SimFileSystem::readBlock(int length, QByteArray *bytes)
{
    if (transfer != Transfer::Reading || length < 0)
        return false;
    *bytes = transferData.mid(readPosition, length);
    readPosition += bytes->size();
    return true;
}

bool SimFileSystem::closeTransfer()
{
    bool ok = true;
    if (transfer == Transfer::Writing)
        ok = exists(transferPath);
    else if (transfer == Transfer::None)
        ok = false;
    resetTransfer();
    return ok;
}

void SimFileSystem::resetTransfer()
{
    transfer = Transfer::None;
    transferPath.clear();
    transferData.clear();
    readPosition = 0;
}

QMap<QString, QByteArray> SimFileSystem::all() const
{
    QMap<QString, QByteArray> contents;
    for (const Entry &entry : files)
        contents.insert(entry.path, entry.data);
    return contents;
}
