#include "journal/localzone.h"

#include <QByteArray>
#include <QFileInfo>
#include <QtGlobal>

#include <ctime>

void LocalZone::pin()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    // Without the file the library uses UTC, and so does an unset TZ.
    if (!QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    ::tzset();
}
