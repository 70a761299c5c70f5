#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares: the entry point libFuzzer calls, a check that stops the
// run with a message when an invariant breaks, and a scratch folder for the parsers that
// read files.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace Fuzz {

// Prints `what` and aborts: libFuzzer keeps the input that did it.
[[noreturn]] void fail(const char *file, int line, const char *what);

// Silences Qt's warnings (parsers report bad input through them) once per process.
void quietQt();

// A file of this process's scratch folder (in /dev/shm when there is one), created anew
// with `bytes` by write().
QString scratchPath(const char *name);
bool write(const QString &path, const QByteArray &bytes);

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace Fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            Fuzz::fail(__FILE__, __LINE__, #condition);                                            \
    } while (false)
