#pragma once

#include <QString>

class QLabel;

// The counters above the tree and in the journal tab: a text with a number, drawn in red
// bold while the number calls for attention, in black normal weight otherwise.
class CounterLabel {
public:
    static void show(QLabel *label, const QString &prefix, int count, bool highlightNonZero);
    // Whether the label is drawn as calling for attention.
    static bool isHighlighted(const QLabel *label);
};
