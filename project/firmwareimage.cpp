#include "project/firmwareimage.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

namespace {
// A firmware image never comes near this; anything larger is not an image.
constexpr qint64 maxFileSize = 64 * 1024 * 1024;
} // namespace

bool FirmwareImage::load(const QString &path)
{
    m_filePath = path;
    m_valid = false;
    m_data.clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > maxFileSize)
        return false;
    const QByteArray content = file.readAll();
    m_fileName = QFileInfo(path).fileName();
    file.close();

    if (content.size() < headerSize || !content.startsWith("nord"))
        return false;
    const auto *header = reinterpret_cast<const uchar *>(content.constData());
    const uint32_t address = qFromBigEndian<quint32>(header + 8);
    const uint32_t length = qFromBigEndian<quint32>(header + 12);
    // The header must not promise more payload than the file holds.
    if (length > uint32_t(content.size() - headerSize))
        return false;

    m_data = content.mid(headerSize, int(length));
    m_flashBase = address;
    m_valid = true;
    return true;
}

void FirmwareImage::reset()
{
    m_data.clear();
    m_flashBase = 0;
    m_valid = false;
    m_filePath.clear();
    m_fileName.clear();
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
