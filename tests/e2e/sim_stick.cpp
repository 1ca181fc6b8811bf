#include "tests/e2e/sim_stick.h"

#include <thread>

namespace e2e {

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(1);

bool ReaderGone(const sim::VirtualStick& stick) {
    return !stick.Plugged() || stick.OpenHandles() == 0;
}

}  // namespace

void VirtualStickActions::SetAxes(std::uint16_t x, std::uint16_t y) {
    stick_.SetAxes(x, y);
    const auto deadline = std::chrono::steady_clock::now() + limit_;
    // Reports are taken in the order they were sent, and the reader starts
    // a read only after it has published the report of the one before. So
    // the new axes are published once a read has started after the one that
    // took the first report sent after the move. That report is at the
    // latest the one after those still buffered at the move: reads started
    // beyond that number are enough. When the reader keeps up, a read left
    // waiting shows the buffer empty, and the read after it is enough.
    const std::uint64_t enough = stick_.ReadsStarted() + stick_.Settings().bufferedReports + 2;
    bool armed = false;
    std::uint64_t afterWaiting = 0;
    for (;;) {
        const std::uint64_t started = stick_.ReadsStarted();
        if (started >= enough || (armed && started > afterWaiting)) return;
        if (!armed && stick_.PendingReads() > 0) {
            armed = true;
            afterWaiting = stick_.ReadsStarted();
        }
        if (ReaderGone(stick_) || std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(kPollStep);
    }
}

void VirtualStickActions::SetReplyLatency(std::uint32_t ms) {
    sim::StickSettings s = stick_.Settings();
    s.replyLatencyMs = ms;
    stick_.SetSettings(s);
}

void VirtualStickActions::SetIgnoreWrites(bool ignore) {
    sim::StickFaults f = stick_.Faults();
    f.ignoreWrites = ignore;
    stick_.SetFaults(f);
}

void VirtualStickActions::SetFlipBitAddress(int address) {
    sim::StickFaults f = stick_.Faults();
    f.flipBitAddress = address;
    stick_.SetFaults(f);
}

}  // namespace e2e
