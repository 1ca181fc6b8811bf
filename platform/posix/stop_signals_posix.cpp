#include <signal.h>

#include <iterator>

#include "platform/stop_signals.h"

namespace plat {
namespace {

constexpr int kHeld[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kHeld)];

}  // namespace

// A handler rather than a blocked mask: the mask is per thread, and the
// link's threads, started earlier, would still take the signal and end the
// process with it.
StopSignalHold::StopSignalHold() {
    Forget();
    struct sigaction keep {};
    keep.sa_handler = Keep;
    sigemptyset(&keep.sa_mask);
    keep.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kHeld); ++i) {
        ::sigaction(kHeld[i], &keep, &g_previous[i]);
    }
}

int StopSignalHold::End() {
    if (m_active) {
        for (std::size_t i = 0; i < std::size(kHeld); ++i) {
            ::sigaction(kHeld[i], &g_previous[i], nullptr);
        }
        m_active = false;
    }
    return Pending();
}

}  // namespace plat
