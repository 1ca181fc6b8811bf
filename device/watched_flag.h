// A flag of the pause handshake between a transfer and the reader whose
// every change signals an auto-reset event, so that the one thread waiting
// for it to change sleeps until it does instead of polling: the reader on
// m_bPauseReader, a transfer on m_bReaderPaused. A change that nobody waited
// for leaves the event signalled, which costs the next wait one more look
// at the flag and nothing else.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sync.h"

namespace hidlink {

class WatchedFlag {
  public:
    explicit WatchedFlag(std::uint32_t value) : value_(value), changed_(plat::NewEvent(false)) {}
    ~WatchedFlag() {
        if (changed_ != nullptr) plat::CloseHandle(changed_);
    }
    WatchedFlag(const WatchedFlag&) = delete;
    WatchedFlag& operator=(const WatchedFlag&) = delete;

    std::uint32_t load() const { return value_.load(); }
    operator std::uint32_t() const { return value_.load(); }
    WatchedFlag& operator=(std::uint32_t value) {
        exchange(value);
        return *this;
    }
    // Storing the value it already has signals nobody.
    std::uint32_t exchange(std::uint32_t value) {
        const std::uint32_t old = value_.exchange(value);
        if (old != value && changed_ != nullptr) plat::SetEvent(changed_);
        return old;
    }

    // Signalled at each change; null when no event could be made, and a
    // waiter then looks at the flag every few milliseconds.
    plat::Handle Changed() const { return changed_; }

  private:
    std::atomic<std::uint32_t> value_;
    const plat::Handle changed_;
};

// Holds a pause flag set while it lives. A caller that had set the flag
// already keeps it set afterwards: only the hold that set it clears it.
class FlagHold {
  public:
    explicit FlagHold(WatchedFlag& flag) : flag_(flag), wasSet_(flag.exchange(1) != 0) {}
    ~FlagHold() {
        if (!wasSet_) flag_ = 0;
    }
    FlagHold(const FlagHold&) = delete;
    FlagHold& operator=(const FlagHold&) = delete;

  private:
    WatchedFlag& flag_;
    const bool wasSet_;
};

}  // namespace hidlink
