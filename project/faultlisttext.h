#pragma once

#include "project/devicefault.h"

#include <QString>
#include <QVector>

// The current faults of a device as one line of text, as the monitors keep them in the site
// database's device state table and the watching consoles read them back:
// "kind:index:state" per fault, separated by ";", in the monitor's order; empty when the
// device has none.
class FaultListText {
public:
    static QString format(const QVector<DeviceFault> &faults);
    // The faults of `text`, without a device. A malformed entry is skipped and sets `ok` to
    // false; the rest are kept. At most `maxFaults` entries are read.
    static QVector<DeviceFault> parse(const QString &text, bool *ok = nullptr);

    static constexpr int maxFaults = 1024;
};
