// The virtual stick of the end-to-end test build, as the control file sees
// it.
#pragma once

#include <chrono>

#include "sim/virtual_stick.h"
#include "tests/e2e/control_file.h"

namespace e2e {

// Control lines applied to a virtual stick. A move returns only once the
// program can have seen it: the reader has taken a report with the new axes
// and gone back for the next one, so a key the harness presses afterwards is
// judged against them. Without a reader (no link open, stick unplugged) it
// returns at once; a reader that stalls is waited for at most `limit`.
class VirtualStickActions final : public StickActions {
  public:
    explicit VirtualStickActions(sim::VirtualStick& stick,
                                 std::chrono::milliseconds limit = std::chrono::seconds(10))
        : stick_(stick), limit_(limit) {}

    void SetAxes(std::uint16_t x, std::uint16_t y) override;
    void Unplug() override { stick_.Unplug(); }
    void Plug() override { stick_.Plug(); }
    void SetReplyLatency(std::uint32_t ms) override;
    void SetIgnoreWrites(bool ignore) override;
    void SetFlipBitAddress(int address) override;

  private:
    sim::VirtualStick& stick_;
    std::chrono::milliseconds limit_;
};

}  // namespace e2e
