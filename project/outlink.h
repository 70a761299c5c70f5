#pragma once

#include <QList>

// A link from a console button to channels of another device: the target device's
// object identifier and the channel numbers (InOut indexes) on that device.
struct OutLink {
    int id_obj = 0;
    QList<int> indexes;

    bool operator==(const OutLink &other) const
    {
        return id_obj == other.id_obj && indexes == other.indexes;
    }
};
