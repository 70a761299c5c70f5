#pragma once

#include <QString>

#include <array>

// The measured values of a central unit's eight alarm lines: the answer to
// "GET LO_CURRENT_VALUES" is exactly eight comma-separated integers in millivolts. An answer
// of any other number of fields is no answer at all; a field that is not a whole number is
// a failed measurement of its line only.
class LineValues {
public:
    static constexpr int lineCount = 8;

    static LineValues parse(const QString &answer);

    // Volts as whole millivolts, the nearest one and halves upwards (floor(v * 1000 + 0.5));
    // a value typed with three decimals ("24.0005" is one more digit than a spin box keeps,
    // still read as meant) is not pulled down by its binary fraction.
    static qint64 millivolts(double volts);
    // Millivolts as volts with three decimals ("24000" -> "24.000").
    static QString voltsText(qint64 millivolts);

    bool valid = false;
    // Per line: whether its field was a number, and the number.
    std::array<bool, lineCount> measured {};
    std::array<qint64, lineCount> values {};
};
