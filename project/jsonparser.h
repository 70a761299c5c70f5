#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The one way JSON text enters the program: project files and the status documents of
// the devices. Whatever arrives, parsing takes memory in proportion to the text and a
// fixed amount of stack, and gives back everything it took.
//
// The values are those QJsonDocument::fromJson gives for the same text: an integer
// token that fits 64 bits is an integer, any other number a double unless it is
// integral and fits 64 bits; a key that repeats keeps its last value; a leading UTF-8
// byte order mark is skipped and control characters inside strings are taken as they
// are. Strings must be valid UTF-8; numbers must be finite. Two differences, both
// outside what valid documents hold: inside arrays and objects an integer beyond 2^53
// is kept as the double nearest to it (the form the JSON writer prints anyway), and a
// \u escape of a lone surrogate is refused (high) or read as U+FFFD (low).
class JsonParser {
public:
    // Arrays and objects nested deeper than this are refused.
    static constexpr int maxDepth = 1024;

    // Parses `text` as one JSON document whose top level is an object. On failure the
    // object is left as it was and `error`, when given, says why in one line.
    static bool parseObject(const QByteArray &text, QJsonObject *object, QString *error = nullptr);
};
