#include "project/firmwarecatalogue.h"

#include "project/apppaths.h"

#include <QDirIterator>
#include <QFileInfo>

QList<QPair<QString, QString>> FirmwareCatalogue::scan()
{
    return scan(defaultFolder());
}

QList<QPair<QString, QString>> FirmwareCatalogue::scan(const QString &folder)
{
    QList<QPair<QString, QString>> files;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        files.append({displayName(it.fileName()), QFileInfo(path).absoluteFilePath()});
    }
    return files;
}

QString FirmwareCatalogue::displayName(const QString &fileName)
{
    QString name = fileName;
    name.remove(QStringLiteral(".norda"), Qt::CaseSensitive);
    name.replace(QLatin1Char('_'), QLatin1Char('.'));
    return name;
}

QString FirmwareCatalogue::defaultFolder()
{
    return AppPaths::firmwareFolder();
}
