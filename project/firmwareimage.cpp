#include "project/firmwareimage.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

bool FirmwareImage::refuse(LoadError error)
{
    m_error = error;
    return false;
}

bool FirmwareImage::load(const QString &path)
{
    m_filePath = path;
    m_valid = false;
    m_data.clear();
    m_flashBase = 0;
    m_error = LoadError::None;

    // Looked at before the file is opened: opening a FIFO waits for a writer, and a device
    // node such as /dev/zero never ends.
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(LoadError::CannotOpen);
    if (!info.isFile())
        return refuse(LoadError::NotRegularFile);
    if (info.size() > maxFileSize)
        return refuse(LoadError::TooLarge);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(LoadError::CannotOpen);
    // The file may have been replaced since it was looked at.
    if (file.isSequential())
        return refuse(LoadError::NotRegularFile);
    if (file.size() > maxFileSize)
        return refuse(LoadError::TooLarge);
    // A buffer of the file's size (and a byte more, for a file that grew meanwhile), not one
    // of the largest size allowed.
    const QByteArray content = file.read(qMin(file.size(), maxFileSize) + 1);
    m_fileName = QFileInfo(path).fileName();
    file.close();
    if (content.size() > maxFileSize)
        return refuse(LoadError::TooLarge);

    if (content.size() < headerSize || !content.startsWith("nord"))
        return refuse(LoadError::NotAnImage);
    const auto *header = reinterpret_cast<const uchar *>(content.constData());
    const uint32_t address = qFromBigEndian<quint32>(header + 8);
    const uint32_t length = qFromBigEndian<quint32>(header + 12);
    // The header must not promise more payload than the file holds.
    if (length > uint32_t(content.size() - headerSize))
        return refuse(LoadError::Truncated);
    // Pages are addressed as load address + offset in 32 bits: an area that passes the end
    // of the address space would be written from address 0 on.
    if (uint64_t(address) + length > (uint64_t(1) << 32))
        return refuse(LoadError::WrapsAround);

    m_data = content.mid(headerSize, int(length));
    m_flashBase = address;
    m_valid = true;
    return true;
}

QString FirmwareImage::errorString() const
{
    switch (m_error) {
    case LoadError::None:
        return QString();
    case LoadError::CannotOpen:
        return QStringLiteral("cannot open %1").arg(m_filePath);
    case LoadError::NotRegularFile:
        return QStringLiteral("%1 is not a regular file").arg(m_filePath);
    case LoadError::TooLarge:
        return QStringLiteral("%1 is too large for a firmware image (%2 bytes at most)")
            .arg(m_filePath)
            .arg(maxFileSize);
    case LoadError::NotAnImage:
        return QStringLiteral("%1 is not a firmware image").arg(m_filePath);
    case LoadError::Truncated:
        return QStringLiteral("%1 is shorter than its header says").arg(m_filePath);
    case LoadError::WrapsAround:
        return QStringLiteral("%1 names an area beyond the end of the address space")
            .arg(m_filePath);
    }
    return QString();
}

void FirmwareImage::reset()
{
    m_data.clear();
    m_flashBase = 0;
    m_valid = false;
    m_filePath.clear();
    m_fileName.clear();
    m_error = LoadError::None;
}

QByteArray FirmwareImage::chunk(uint32_t address, uint32_t length) const
{
    const uint32_t offset = address - m_flashBase;
    // Computed in 64 bits so that neither an address below the base (which wraps to a
    // huge offset) nor a huge length can wrap around into the payload.
    if (uint64_t(offset) + length > uint64_t(m_data.size()))
        return QByteArray();
    return m_data.mid(int(offset), int(length));
}
