#include "link/assignmentconfig.h"

#include "project/devicetype.h"

QString AssignmentConfig::groupForType(int deviceType)
{
    return deviceType == DeviceType::IpPult ? QStringLiteral("audiofiles")
                                            : QStringLiteral("pult_files");
}

AssignmentConfig::AssignmentConfig(const QString &group)
    : m_group(group)
{
}

void AssignmentConfig::setDownloaded(const QByteArray &bytes)
{
    m_downloaded = IniText(bytes);
}

QString AssignmentConfig::keyOf(int signal)
{
    return QStringLiteral("file_%1").arg(signal);
}

QString AssignmentConfig::assignment(int signal) const
{
    if (signal != 1 && signal != 2)
        return QString();
    return m_downloaded.value(m_group, keyOf(signal));
}

bool AssignmentConfig::compose(const QString &file1, const QString &file2, QByteArray *bytes,
                               QString *error) const
{
    IniText text = m_downloaded;
    const QString files[] = {file1, file2};
    for (int signal = 1; signal <= 2; ++signal) {
        const QString &path = files[signal - 1];
        if (path.isEmpty()) {
            text.remove(m_group, keyOf(signal));
        } else if (!text.setValue(m_group, keyOf(signal), path, error)) {
            return false;
        }
    }
    // A value that runs on (a quote never closed, a backslash at the end of a line) would
    // swallow the lines written after it: such a file is not sent as if it held them.
    for (int signal = 1; signal <= 2; ++signal) {
        if (text.value(m_group, keyOf(signal)) != files[signal - 1]) {
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
