#pragma once

#include <QString>

// One item of a gain list: the text shown and the number kept as the item's data.
struct GainItem {
    QString text;
    int data = 0;

    bool operator==(const GainItem &other) const
    {
        return text == other.text && data == other.data;
    }
};
