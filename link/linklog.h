#pragma once

#include <QLoggingCategory>

// Diagnostics of the device link ("norda.link"). The desktop program prints them as plain
// lines; the command-line tool, the benchmarks and the tests switch them off unless asked.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
