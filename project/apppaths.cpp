#include "project/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const char folderName[] = "norda-console";

QString executableFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace

QString AppPaths::installedShareFolder()
{
    return QDir::cleanPath(executableFolder() + QStringLiteral("/../share/") +
                           QLatin1String(folderName));
}

AppPaths::Layout AppPaths::layout()
{
    return QFileInfo(installedShareFolder() + QStringLiteral("/installed")).isFile()
        ? Layout::Installed
        : Layout::Portable;
}

QString AppPaths::settingsFile()
{
    if (!isInstalled())
        return executableFolder() + QStringLiteral("/settings.ini");
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QLatin1Char('/') + QLatin1String(folderName) + QStringLiteral("/settings.ini");
}

QString AppPaths::dataFolder()
{
    if (!isInstalled())
        return QDir::currentPath();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QLatin1Char('/') + QLatin1String(folderName);
    QDir().mkpath(folder);
    return folder;
}

QString AppPaths::firmwareFolder()
{
    if (!isInstalled())
        return executableFolder() + QStringLiteral("/firmware");
    return dataFolder() + QStringLiteral("/firmware");
}

QString AppPaths::screenshotFolder()
{
    if (!isInstalled())
        return executableFolder() + QStringLiteral("/screen");
    return dataFolder() + QStringLiteral("/screen");
}

QString AppPaths::documentsFolder()
{
    return isInstalled() ? QDir::homePath() : executableFolder();
}
