#include "link/networkports.h"

#include <QSettings>

namespace {

quint16 portValue(QSettings &settings, const QString &key, quint16 fallback)
{
    bool ok = false;
    const int value =
        settings.value(key, QString::number(fallback)).toString().trimmed().toInt(&ok);
    return ok && value >= 1 && value <= 65535 ? quint16(value) : fallback;
}

} // namespace

NetworkPorts NetworkPorts::fromSettings(QSettings &settings)
{
    NetworkPorts ports;
    settings.beginGroup(QStringLiteral("network"));
    ports.commandPort = portValue(settings, QStringLiteral("commandport"), defaultCommandPort);
    ports.statusPort = portValue(settings, QStringLiteral("statusport"), defaultStatusPort);
    settings.endGroup();
    return ports;
}
