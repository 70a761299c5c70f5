#pragma once

#include "link/cdcusbprocess.h"

// Re-emits every signal of a command exchange worker on the thread that created the relay,
// so that tests can watch them with QSignalSpy without touching another thread's data. The
// relay is a worker that never runs: it has the worker's signals, and the constructor
// connects each of them (queued) to the same signal of the relay.
class WorkerRelay : public CdcUsbProcess {
public:
    explicit WorkerRelay(CdcUsbProcess *worker);
};
