#pragma once

#include <QByteArray>
#include <QString>

// The answer of a central unit (firmware builds above 619) to "GET BINSTATUS": its binary
// state as hexadecimal text, two digits a byte, in the layout of the status document's
// "binstate": console k (0 to 31) faulty at bit 120 + k, extension unit j (0 to 8) faulty at
// bit 152 + j, bit n being bit n % 8 of byte n / 8. An answer too short to hold the bit
// asked for tells nothing about that console or unit.
class BinStatus {
public:
    static constexpr int consoleCount = 32;
    static constexpr int extensionCount = 9;

    // Not valid when the text is not an even number of hexadecimal digits.
    static BinStatus parse(const QString &answer);

    // 1 faulty, 0 not, -1 unknown (the answer is too short, or `index` is out of range).
    int consoleFault(int k) const;
    int extensionFault(int j) const;

    bool valid = false;
    QByteArray bytes;

private:
    int bitAt(int n) const;
};
