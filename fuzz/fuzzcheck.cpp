#include "fuzz/fuzzcheck.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace Fuzz {

void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

void quietQt()
{
    static const bool installed = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    (void)installed;
}

QString scratchPath(const char *name)
{
    // Never destroyed: the folder is removed at exit, after the static objects have gone.
    static const QString *folder = [] {
        const QString root = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        auto *path = new QString(QStringLiteral("%1/norda-fuzz-%2").arg(root).arg(getpid()));
        QDir().mkpath(*path);
        std::atexit([] { QDir(*folder).removeRecursively(); });
        return path;
    }();
    return *folder + QLatin1Char('/') + QLatin1String(name);
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(bytes) == bytes.size();
}

} // namespace Fuzz
