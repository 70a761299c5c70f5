#include "tools/cli/monitorconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

const MonitorConfig::Key MonitorConfig::keys[] = {
    {"monitor", "project", ""},
    {"monitor", "metrics", "metrics"},
    {"journal", "database", "database"},
    {"journal", "syslog", "syslog"},
    {"journal", "statuslogdays", "status-log-days"},
    {"journal", "statuslogmaxmb", "status-log-max-mb"},
    {"network", "statusport", "status-port"},
};

namespace {

const MonitorConfig::Key *findKey(const QString &settingsKey)
{
    for (const MonitorConfig::Key &key : MonitorConfig::keys) {
        if (settingsKey == QLatin1String(key.group) + QLatin1Char('/') + QLatin1String(key.key))
            return &key;
    }
    return nullptr;
}

QString keyName(const QString &settingsKey)
{
    const int slash = settingsKey.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return settingsKey + QStringLiteral(" (outside any [group])");
    return QStringLiteral("[%1] %2").arg(settingsKey.left(slash), settingsKey.mid(slash + 1));
}

} // namespace

bool MonitorConfig::apply(const QString &file, const QStringList &options, const QStringList &given,
                          bool hasProject, QStringList *args, QString *error)
{
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("cannot open configuration file %1: %2")
                     .arg(file,
                          info.exists() ? QStringLiteral("not a readable file")
                                        : QStringLiteral("no such file"));
        return false;
    }
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("%1: not an INI file").arg(file);
        return false;
    }
    QStringList settingsKeys = settings.allKeys();
    settingsKeys.sort();
    for (const QString &settingsKey : settingsKeys) {
        const QString where = file + QStringLiteral(": ") + keyName(settingsKey);
        const Key *key = findKey(settingsKey);
        if (!key) {
            *error = where + QStringLiteral(": unknown key");
            return false;
        }
        const QString option = QLatin1String(key->option);
        if (!option.isEmpty() && !options.contains(option)) {
            *error = where + QStringLiteral(": this monitor has no --%1 option").arg(option);
            return false;
        }
        const QVariant value = settings.value(settingsKey);
        if (value.type() != QVariant::String) {
            *error = where + QStringLiteral(": a value with a comma must be in double quotes");
            return false;
        }
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            continue;
        if (option.isEmpty()) {
            if (!hasProject)
                args->append(QDir(info.absolutePath()).absoluteFilePath(text));
            continue;
        }
        if (given.contains(option))
            continue;
        args->append(QStringLiteral("--") + option);
        args->append(text);
        m_origins.insert(option, where);
    }
    return true;
}

QString MonitorConfig::origin(const QString &option) const
{
    return m_origins.value(option, QStringLiteral("--") + option);
}
