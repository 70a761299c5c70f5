#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One firmware file ("*.norda"): a 16-byte big-endian header ("nord", a word that
// is not interpreted, the load address, the payload length) followed by the payload.
class FirmwareImage {
public:
    static constexpr int headerSize = 16;

    // Reads and checks the file. Returns false (and leaves valid() false) when the file
    // cannot be read, does not start with "nord", or is shorter than its header says.
    bool load(const QString &path);
    void reset();

    bool valid() const { return m_valid; }
    uint32_t flashBase() const { return m_flashBase; }
    int size() const { return m_data.size(); }
    const QByteArray &data() const { return m_data; }
    QString filePath() const { return m_filePath; }
    QString fileName() const { return m_fileName; }

    // The `length` payload bytes that belong at flash address `address`; empty when
    // the range is not wholly inside the payload.
    QByteArray chunk(uint32_t address, uint32_t length) const;

private:
    QString m_filePath;
    QString m_fileName;
    bool m_valid = false;
    QByteArray m_data;
    uint32_t m_flashBase = 0;
};
