#pragma once

#include <QByteArray>
#include <QString>

// The 128 x 32 dot screen of a central unit as the unit reports it (the answer to
// "GET SCREEN") and as the local preview composes it: 512 bytes, four pages of 128 bytes;
// byte (page * 128 + column) holds the 8 dots of that column in that page, bit b being dot
// row page * 8 + b (bit 0 at the top).
//
// A buffer of any other size is the empty screen: nothing but the background is drawn.
class UnitScreen {
public:
    static constexpr int columns = 128;
    static constexpr int rows = 32;
    static constexpr int pages = 4;
    static constexpr int pageBytes = columns;
    static constexpr int bufferBytes = pages * pageBytes;

    // The empty screen.
    UnitScreen() = default;
    explicit UnitScreen(const QByteArray &bytes);

    // The screen of a "SCREEN" answer: exactly 1024 hexadecimal digits (either case; blanks
    // and line ends around them ignored) give its 512 bytes; anything else gives the empty
    // screen.
    static UnitScreen fromAnswer(const QString &answer);
    // A screen with no dot set (valid, unlike the empty screen).
    static UnitScreen blank();

    // Whether the buffer holds exactly 512 bytes.
    bool isValid() const { return buffer.size() == bufferBytes; }
    const QByteArray &bytes() const { return buffer; }
    // Whether dot (column, row) is set; false outside the screen and on the empty screen.
    bool dot(int column, int row) const;
    // Sets or clears a dot of a valid screen; ignored outside the screen.
    void setDot(int column, int row, bool on);

    bool operator==(const UnitScreen &other) const { return buffer == other.buffer; }
    bool operator!=(const UnitScreen &other) const { return buffer != other.buffer; }

private:
    QByteArray buffer;
};
