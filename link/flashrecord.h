#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <memory>

// One queued flashing record of the bootloader.
struct FlashRecord {
    enum Kind : int { Erase = 2, Write = 3, Verify = 4, ExitBoot = 5 };

    int kind = 0;
    uint32_t address = 0;
    uint32_t size = 0;
    // Erase only: 1 selects the uniform sector table, any other value the mixed one.
    int layout = 0;
    // Write and verify: the image bytes.
    QByteArray data;
    // Set by whoever queued the job (any thread) to stop it before its next sector or page;
    // none: the job runs to its end.
    std::shared_ptr<std::atomic_bool> cancel;

    bool cancelled() const { return cancel && cancel->load(); }
};
