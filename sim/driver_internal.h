// The driver's internals shared by its files: one open handle on a virtual
// stick (its pending reads and writes and the reports buffered for it) and
// the condition wait. Guarded by the driver's lock.
#pragma once

#include <deque>
#include <vector>

#include "sim/virtual_stick.h"

namespace sim {

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
    std::deque<PendingRead> reads;
    std::deque<std::vector<std::uint8_t>> buffered;
    std::vector<PendingWrite> writes;
};

template <class Pred>
bool SimHidDriver::WaitFor(std::chrono::milliseconds limit, Pred pred) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, pred);
}

}  // namespace sim
