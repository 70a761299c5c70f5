#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// One firmware file ("*.norda"): a 16-byte big-endian header ("nord", a word that
// is not interpreted, the load address, the payload length) followed by the payload.
class FirmwareImage {
public:
    static constexpr int headerSize = 16;
    // The bootloader's sector tables cover 1 MiB of flash: no payload is larger, and a file
    // larger than a header and that much flash is not an image.
    static constexpr qint64 maxPayloadSize = 1024 * 1024;
    static constexpr qint64 maxFileSize = headerSize + maxPayloadSize;

    // Why the last load() failed.
    enum class LoadError {
        None,
        CannotOpen, // missing or unreadable
        NotRegularFile, // a folder, a device node, a FIFO, a socket: never opened
        TooLarge, // larger than maxFileSize: never read
        NotAnImage, // shorter than the header, or without the "nord" magic
        Truncated, // the header promises more payload than the file holds
        WrapsAround, // load address plus length passes the end of the 32-bit address space
    };

    // Reads and checks the file. Returns false (and leaves valid() false) when the file
    // cannot be read, is not a regular file, is larger than maxFileSize, does not start with
    // "nord", is shorter than its header says or names an area that wraps around the address
    // space; loadError() and errorString() then say which. Anything but a regular file of at
    // most maxFileSize is refused before a byte is read, so a device node or a FIFO neither
    // blocks nor exhausts memory.
    bool load(const QString &path);
    void reset();

    bool valid() const { return m_valid; }
    uint32_t flashBase() const { return m_flashBase; }
    int size() const { return m_data.size(); }
    const QByteArray &data() const { return m_data; }
    QString filePath() const { return m_filePath; }
    QString fileName() const { return m_fileName; }
    LoadError loadError() const { return m_error; }
    // The reason of the last failed load as one English line naming the file; empty after a
    // successful one.
    QString errorString() const;

    // The `length` payload bytes that belong at flash address `address`; empty when
    // the range is not wholly inside the payload.
    QByteArray chunk(uint32_t address, uint32_t length) const;

private:
    bool refuse(LoadError error);

    QString m_filePath;
    QString m_fileName;
    bool m_valid = false;
    QByteArray m_data;
    uint32_t m_flashBase = 0;
    LoadError m_error = LoadError::None;
};
