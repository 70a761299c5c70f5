#pragma once

#include <cstdint>

// The process's limit of open files. Every polled device keeps a connection in the monitor,
// and every simulated device one in the simulator: a desktop session's soft limit (often
// 1024) would not do for a large network, while the hard limit, which only the system
// sets, usually allows far more.
class OpenFilesLimit {
public:
    // Raises the soft limit to the hard limit (65536 when the hard limit is unlimited).
    // Returns the soft limit in force afterwards, or -1 when it cannot be read.
    static int64_t raiseToHard();
    // The soft limit in force, or -1.
    static int64_t current();
};
