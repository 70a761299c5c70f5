#include "link/gainitems.h"

#include <algorithm>
#include <cmath>

namespace {

int indexOfData(const QVector<GainItem> &items, int data)
{
    const auto it = std::find_if(items.cbegin(), items.cend(),
                                 [data](const GainItem &item) { return item.data == data; });
    return it == items.cend() ? -1 : int(it - items.cbegin());
}

} // namespace

QVector<GainItem> GainItems::ampNomPower()
{
    QVector<GainItem> items;
    items.reserve(256);
    for (int i = 0; i < 256; ++i) {
        // Tenths of a dB: i * 0.5 - 103.5 dB, exactly.
        const int tenths = i * 5 - 1035;
        items.append({QStringLiteral("%1 дБ").arg(QString::number(tenths / 10.0, 'f', 1)), tenths});
    }
    return items;
}

QVector<GainItem> GainItems::speakerNomPower()
{
    QVector<GainItem> items;
    items.reserve(95);
    for (int db = 3; db >= -90; --db)
        items.append({QStringLiteral("%1.0 дБ").arg(db), db});
    items.append({QStringLiteral("откл"), speakerOff});
    return items;
}

int GainItems::ampNomPowerIndex(const QString &answer)
{
    bool ok = false;
    const double db = answer.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(db) || std::fabs(db) > 1e6)
        return -1;
    return indexOfData(ampNomPower(), int(db * 10));
}

int GainItems::speakerNomPowerIndex(const QString &answer)
{
    const QString text = answer.trimmed();
    const QVector<GainItem> items = speakerNomPower();
    if (text == QStringLiteral("откл"))
        return items.size() - 1;
    bool ok = false;
    const int db = text.toInt(&ok);
    return ok ? indexOfData(items, db) : -1;
}
