#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>

class QIODevice;

// A byte transport to one device: buffers every received byte and hands out complete
// text lines. It lives on the thread of the command exchange worker, which alone opens,
// polls, closes and deletes it (port discovery uses short-lived transports of its own).
class ConnectionDevice : public QObject {
    Q_OBJECT

public:
    // The longest line a device sends in a legal answer (a file block or a screen buffer in
    // hexadecimal is about a kilobyte).
    static constexpr int longestAnswerLine = 4096;
    // Bytes without a line feed beyond this are dropped and the buffer is marked overflowed.
    static constexpr int maxPartialLine = longestAnswerLine + 64 * 1024;
    // Received bytes that nobody takes are never kept beyond this.
    static constexpr int maxBuffered = 1024 * 1024;

    explicit ConnectionDevice(QObject *parent = nullptr);
    ~ConnectionDevice() override;

    bool isOpen() const { return opened; }

    QByteArray takeReceived();
    qint64 receivedSize() const;
    void clearReceived();
    // Removes and returns everything up to and including the first line feed; empty (and
    // the buffer untouched) when no complete line is buffered.
    QByteArray readLine();
    bool canReadLine() const;
    // Waits at most `ms` milliseconds for a complete line, sleeping while nothing arrives.
    bool waitForLine(int ms);
    // True once bytes had to be dropped (an endless line or nobody taking the lines);
    // cleared by clearReceived() and takeReceived().
    bool hasOverflowed() const;
    // Takes in whatever has arrived by now, without waiting, and drops all of it.
    void discardInput();

    virtual qint64 write(const QByteArray &bytes);
    virtual qint64 write(const QString &text);
    virtual void pollRead();
    virtual void close();

    // Text on the wire is Windows-1251. Decoding stops at a zero byte.
    static QByteArray encode(const QString &text);
    static QString decode(const QByteArray &bytes);
    // Whether `text` can be part of a request line as it is: no carriage return, line feed
    // or NUL (they would end the line early, and the rest would reach the device as a
    // command of its own) and nothing that Windows-1251 cannot carry (it would arrive as
    // "?"). Otherwise false, with the reason in `reason`.
    static bool isWireText(const QString &text, QString *reason = nullptr);

signals:
    // New bytes were buffered.
    void received();
    // The port reported an error it cannot recover from (the device is gone).
    void portFailed();

protected:
    // Appends under the lock, enforcing the two limits above; emits received().
    void appendReceived(const QByteArray &bytes);
    // Blocks the calling thread until bytes may have arrived or `ms` has passed; never
    // returns early without reason, so callers can loop on it without spinning.
    virtual void waitForData(int ms);

    // Received bytes; those before readPos have been taken already and go at the next
    // arrival.
    QByteArray rxBuffer;
    int readPos = 0;
    bool opened = false;
    mutable QMutex rxMutex;
    QIODevice *port = nullptr;

private:
    bool overflowed = false;
};
