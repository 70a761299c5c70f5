#pragma once

// The process's local time zone, fixed at start-up.
//
// With no TZ in the environment the C library looks at the zone file again (a stat of
// /etc/localtime) at every conversion between local time and the epoch, and the journal
// converts several times per status answer: with thousands of answers a second that was
// a sixth of the monitor's time. Naming the same file in TZ makes the library read it
// once. The zone in effect does not change; a change of the machine's zone while the
// program runs is seen at its next start.
class LocalZone {
public:
    // Call first thing in main(), before any thread is started. Leaves a TZ that is set
    // alone.
    static void pin();
};
