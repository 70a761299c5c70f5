#pragma once

#include <QString>

// A size in bytes as the user reads it, in Russian units of 1024: "512 Б", "1,50 КБ",
// "16,00 МБ", "2,00 ГБ" (two decimals and a decimal comma above a kilobyte).
class DataSize {
public:
    static QString text(qint64 bytes);
};
