#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The file store of a simulated device: the internal flash "0:" and the memory card "1:",
// paths with backslashes, names compared without regard to case, as on the device. It also
// keeps the state of the one file transfer the device runs at a time.
class SimFileSystem {
public:
    static constexpr qint64 capacity = 16 * 1024 * 1024;

    SimFileSystem();

    static bool validPath(const QString &path);
    bool exists(const QString &path) const;
    QByteArray file(const QString &path) const;
    bool store(const QString &path, const QByteArray &data);
    bool remove(const QString &path);
    // Deletes every file directly in `dir`; false when there is no such folder.
    bool clearDir(const QString &dir);
    bool makeDir(const QString &dir);
    // Erases every file and folder of a storage unit ("0:") and makes its audio folder
    // again, as the device's formatting does; ends a transfer that was running.
    void format(const QString &unit);
    // The listing lines of a folder: "name\tsize" per file, "/name" per subfolder; false
    // when there is no such folder.
    bool listing(const QString &dir, QStringList *lines) const;
    qint64 used() const;
    // Every file by its path, as stored.
    QMap<QString, QByteArray> all() const;
    qint64 freeSpace() const { return capacity - used(); }

    // The transfer state: FILE_CREATE / FILE_WRITE / FILE_CLOSE and FILE_OPEN / FILE_READ.
    // FILE_CREATE makes the file empty at once and each block is appended to it, so that a
    // transfer that is cut off leaves a shortened file, as on the device.
    bool beginWrite(const QString &path);
    bool writeBlock(const QByteArray &bytes);
    bool beginRead(const QString &path);
    // Next block of at most `length` bytes; false when no file is open for reading.
    bool readBlock(int length, QByteArray *bytes);
    bool closeTransfer();
    void resetTransfer();

    // As some devices do: a transfer that was never closed nor reset (the link dropped
    // during an upload) keeps the device from starting another until "SET FILE_RESET".
    bool strictTransfers = false;

private:
    struct Entry {
        QString path;
        QByteArray data;
    };
    static QString key(const QString &path);
    static QString parentOf(const QString &path);

    QMap<QString, Entry> files;
    QSet<QString> folders;

    enum class Transfer { None, Writing, Reading } transfer = Transfer::None;
    QString transferPath;
    QByteArray transferData;
    int readPosition = 0;
};
