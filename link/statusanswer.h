#pragma once

#include <QLocale>
#include <QString>

// The fields of a device's answer to "GET STATUS" that the audio device windows use: one
// line of comma-separated fields, field 0 beginning with the device's type key (more words
// may follow after a blank), field 1 the firmware version "major.minor", fields 6 to 8 the
// storage status code, size and free space in bytes.
class StatusAnswer {
public:
    // Reads an answer as the facade hands it on (the value line, or the error text of a
    // failed request). A field that does not convert to a number gives 0.
    static StatusAnswer parse(const QString &answer);

    // Russian text of a storage status code: "ошибок нет" for 2, "неизвестно" for codes
    // the devices do not report.
    static QString storageStatusText(int status);
    // "Флэш-память: ошибок нет, свободно 1,50 МБ из 16,00 МБ." for status 2, else
    // "Флэш-память: " + status text + "."; sizes as DataSize writes them.
    static QString storageLabel(int status, qint64 total, qint64 free);

    // False for an error answer ("ERROR", "ERROR TIMEOUT", ...) and for an answer of fewer
    // than two fields: a window changes nothing for it.
    bool valid = false;
    // Type code of the reported type key (0 when unknown).
    int typeCode = 0;
    // major * 100 + minor; 0 when the version does not convert or does not fit 16 bits.
    int version = 0;
    // The storage fields were present (more than eight fields); without them the window
    // keeps the storage state it had.
    bool hasStorage = false;
    int storageStatus = 0;
    // In bytes; a negative field gives 0.
    qint64 storageTotal = 0;
    qint64 storageFree = 0;
};
