// The driver's internals shared by its files: one open handle on a virtual
// stick (its pending reads and writes and the reports buffered for it) and
// the condition wait. Guarded by the driver's lock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "sim/virtual_stick.h"

namespace sim {

// The reports buffered for one handle, oldest first, in slots that are
// kept and refilled: once the ring has held its most, a report costs a
// copy and no allocation, however long the reader stays away.
class ReportRing {
  public:
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    const std::vector<std::uint8_t>& front() const { return slots_[head_]; }
    void pop_front() {
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }
    void push_back(const std::uint8_t* bytes, std::uint32_t count) {
        if (count_ == slots_.size()) {
            // Full: unwind the ring so that the new slot goes at its end.
            std::rotate(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(head_),
                        slots_.end());
            head_ = 0;
            slots_.emplace_back();
        }
        slots_[(head_ + count_) % slots_.size()].assign(bytes, bytes + count);
        ++count_;
    }
    void clear() { head_ = count_ = 0; }

  private:
    std::vector<std::vector<std::uint8_t>> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

struct SimHidDriver::OpenFile {
    struct PendingRead {
        plat::IoRecord* io;
        std::uint8_t* buffer;
        std::uint32_t length;
    };
    struct PendingWrite {
        std::uint64_t id;
        plat::IoRecord* io;
        std::vector<std::uint8_t> data;
        bool shortWrite;
    };

    std::uint64_t id = 0;
    VirtualStick* stick = nullptr;
    bool dead = false;  // the stick was unplugged while this handle was open
    // Reserved when the file opens: a reader that starts one read per
    // report then never makes them allocate.
    std::vector<PendingRead> reads;
    ReportRing buffered;
    std::vector<PendingWrite> writes;
};

template <class Pred>
bool SimHidDriver::WaitFor(std::chrono::milliseconds limit, Pred pred) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, pred);
}

}  // namespace sim
