#include "link/assignmentconfig.h"

#include "project/devicetype.h"

QString AssignmentConfig::groupForType(int deviceType)
{
    if (isCentralUnitType(deviceType))
        return QStringLiteral("assign");
    return deviceType == DeviceType::IpPult ? QStringLiteral("audiofiles")
                                            : QStringLiteral("pult_files");
}

QStringList AssignmentConfig::keysForType(int deviceType)
{
    if (isCentralUnitType(deviceType))
        return {QStringLiteral("message1"), QStringLiteral("message2"), QStringLiteral("siren"),
                QStringLiteral("gong"), QStringLiteral("test")};
    return {QStringLiteral("file_1"), QStringLiteral("file_2")};
}

AssignmentConfig::AssignmentConfig(const QString &group, const QStringList &keys)
    : m_group(group)
    , m_keys(keys)
{
}

void AssignmentConfig::setDownloaded(const QByteArray &bytes)
{
    m_downloaded = IniText(bytes);
}

QString AssignmentConfig::keyOf(int signal) const
{
    return m_keys.value(signal - 1);
}

QString AssignmentConfig::assignment(int signal) const
{
    if (signal < 1 || signal > m_keys.size())
        return QString();
    return m_downloaded.value(m_group, keyOf(signal));
}

bool AssignmentConfig::compose(const QString &file1, const QString &file2, QByteArray *bytes,
                               QString *error) const
{
    return compose(QStringList {file1, file2}, bytes, error);
}

bool AssignmentConfig::compose(const QStringList &paths, QByteArray *bytes, QString *error) const
{
    IniText text = m_downloaded;
    for (int signal = 1; signal <= m_keys.size(); ++signal) {
        const QString path = paths.value(signal - 1);
        if (path.isEmpty()) {
            text.remove(m_group, keyOf(signal));
        } else if (!text.setValue(m_group, keyOf(signal), path, error)) {
            return false;
        }
    }
    // A value that runs on (a quote never closed, a backslash at the end of a line) would
    // swallow the lines written after it: such a file is not sent as if it held them.
    for (int signal = 1; signal <= m_keys.size(); ++signal) {
        if (text.value(m_group, keyOf(signal)) != paths.value(signal - 1)) {
            if (error)
                *error = QStringLiteral("config.ini would not read %1 back as written: a value "
                                        "before it runs on (a quote never closed, or a backslash "
                                        "at the end of a line)")
                             .arg(keyOf(signal));
            return false;
        }
    }
    if (bytes)
        *bytes = text.bytes();
    return true;
}
