#include "serial/sendledger.h"

#include <algorithm>
#include <utility>

void SendLedger::queued(uint64_t n, bool counted) {
    if (n > 0) queue_.push_back({n, counted});
}

void SendLedger::refused(uint64_t n) {
    while (n > 0 && !queue_.empty()) {
        Write& last = queue_.back();
        const uint64_t cut = std::min(n, last.left);
        last.left -= cut;
        n -= cut;
        if (last.left == 0) queue_.pop_back();
    }
}

void SendLedger::sent(uint64_t total) {
    uint64_t fresh = total > settled_ ? total - settled_ : 0;
    settled_ = std::max(settled_, total);
    while (fresh > 0 && !queue_.empty()) {
        Write& oldest = queue_.front();
        const uint64_t part = std::min(fresh, oldest.left);
        if (oldest.counted) counted_ += part;
        oldest.left -= part;
        fresh -= part;
        if (oldest.left == 0) queue_.pop_front();
    }
}

void SendLedger::discardQueued() {
    queue_.clear();
}

void SendLedger::deviceClosed() {
    queue_.clear();
    settled_ = 0;
}

uint64_t SendLedger::takeCounted() {
    return std::exchange(counted_, 0);
}
