#include "project/datasize.h"

#include <QLocale>

QString DataSize::text(qint64 bytes)
{
    static const char *const units[] = {"КБ", "МБ", "ГБ", "ТБ", "ПБ", "ЭБ"};
    if (bytes > -1024 && bytes < 1024)
        return QString::number(bytes) + QString::fromUtf8(" Б");
    double value = double(bytes);
    int unit = -1;
    while ((value >= 1024 || value <= -1024) && unit < 5) {
        value /= 1024;
        ++unit;
    }
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    return russian.toString(value, 'f', 2) + QLatin1Char(' ') + QString::fromUtf8(units[unit]);
}
