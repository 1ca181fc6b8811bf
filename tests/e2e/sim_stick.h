// The virtual stick of the end-to-end test build, as the control file and
// the EEPROM file see it.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

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

// Keeps a file holding the stick's 256 EEPROM bytes (byte i = address i) up
// to date, so the harness can check what the program wrote.
class EepromMirror {
  public:
    // An empty path keeps the EEPROM in memory only.
    EepromMirror(sim::VirtualStick& stick, std::string path);

    // Loads the file into the stick; without a file the stick keeps its
    // erased EEPROM and the file is written at once. False, with the reason,
    // when the file is there but is no EEPROM image: it is left untouched.
    bool Prepare(std::string* error);

    // Saves when the stick has received a write request or its EEPROM has
    // changed since the last save. False when a due save failed (it is
    // tried again at the next call).
    bool Sync();

  private:
    bool Save(const sim::Eeprom& contents);

    sim::VirtualStick& stick_;
    std::string path_;
    sim::Eeprom saved_{};
    std::size_t writesSaved_ = 0;
    bool savedOnce_ = false;
};

}  // namespace e2e
