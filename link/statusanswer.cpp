#include "link/statusanswer.h"

#include "project/datasize.h"
#include "project/devicetype.h"

#include <QStringList>

namespace {

int toInt(const QString &field)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    return ok ? value : 0;
}

qint64 toSize(const QString &field)
{
    bool ok = false;
    const qint64 value = field.trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

int toVersion(const QString &field)
{
    const QString text = field.trimmed();
    const int major = toInt(text.section(QLatin1Char('.'), 0, 0));
    const int minor = toInt(text.section(QLatin1Char('.'), 1, 1));
    if (major < 0 || minor < 0 || major > 655)
        return 0;
    const int version = major * 100 + minor;
    return version <= 0xFFFF ? version : 0;
}

} // namespace

StatusAnswer StatusAnswer::parse(const QString &answer)
{
    StatusAnswer status;
    const QString text = answer.trimmed();
    if (text.startsWith(QLatin1String("ERROR")))
        return status;
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() < 2)
        return status;
    status.valid = true;
    const QString key = fields.at(0).trimmed().section(QLatin1Char(' '), 0, 0);
    status.typeCode = key.isEmpty() ? 0 : deviceTypeFromKey(key);
    status.version = toVersion(fields.at(1));
    if (fields.size() > 8) {
        status.hasStorage = true;
        status.storageStatus = toInt(fields.at(6));
        status.storageTotal = toSize(fields.at(7));
        status.storageFree = toSize(fields.at(8));
    }
    return status;
}

QString StatusAnswer::storageStatusText(int status)
{
    switch (status) {
    case 0:
    case 4:
        return QStringLiteral("карта отсутствует");
    case 1:
        return QStringLiteral("инициализация");
    case 2:
        return QStringLiteral("ошибок нет");
    case 3:
        return QStringLiteral("отсутствует файловая система");
    case 5:
        return QStringLiteral("идёт форматирование карты");
    case 6:
        return QStringLiteral("проверка карты");
    default:
        return QStringLiteral("неизвестно");
    }
}

QString StatusAnswer::storageLabel(int status, qint64 total, qint64 free)
{
    QString label = QStringLiteral("Флэш-память: ") + storageStatusText(status);
    if (status == 2)
        label +=
            QStringLiteral(", свободно %1 из %2").arg(DataSize::text(free), DataSize::text(total));
    return label + QLatin1Char('.');
}
