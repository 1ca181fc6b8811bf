#include "platform/stop_signals.h"

#include <atomic>

namespace plat {
namespace {

// Lock-free, so that a signal handler may touch it.
std::atomic<int> g_pending{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void StopSignalHold::Keep(int signal) {
    int none = 0;
    g_pending.compare_exchange_strong(none, signal);
}

void StopSignalHold::Forget() {
    g_pending.store(0);
}

int StopSignalHold::Pending() const {
    return g_pending.load();
}

}  // namespace plat
