#pragma once

#include <cstdint>
#include <deque>

// Tells which of the bytes the driver has taken belong to writes that count towards the TX
// counter. Writes leave the send queue in order, so the device's running total of bytes taken
// is shared out over the writes from the oldest on; an output purge discards the rest.
class SendLedger {
  public:
    // A write of n bytes has been queued (before the device knows of it).
    void queued(uint64_t n, bool counted);
    // The send queue refused the last n bytes of the latest write.
    void refused(uint64_t n);
    // The device's total of bytes taken since the open is now `total`.
    void sent(uint64_t total);
    // Everything queued and not yet taken has been thrown away.
    void discardQueued();
    // The device is gone: the next one counts from zero.
    void deviceClosed();
    // Counted bytes taken since the last call.
    uint64_t takeCounted();

  private:
    struct Write {
        uint64_t left;
        bool counted;
    };
    std::deque<Write> queue_;
    uint64_t settled_ = 0;  // the device's total as far as it has been shared out
    uint64_t counted_ = 0;
};
