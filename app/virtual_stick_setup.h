// kx9calib's virtual stick: made from the command line's --sim-... options,
// its EEPROM kept in a file, and seen by the front-ends and the service
// commands as any attached controller is.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/virtual_stick.h"
#include "service/found_sticks.h"
#include "app/options.h"
#include "term/stick_control.h"

namespace app {

// The serial number kx9calib's virtual stick reports, and its device path:
// short, so that it can be typed after --device.
inline constexpr const char* kVirtualStickSerial = "KX9SIM0001";
inline constexpr char16_t kVirtualStickNode[] = u"virtual-stick-1";

sim::StickSettings VirtualStickSettings(const app::Options& options);
sim::StickFaults VirtualStickFaults(const app::Options& options);

// The plugged ones among `sticks`, in the order given.
std::vector<service::FoundController> FoundVirtualSticks(
    const std::vector<sim::VirtualStick*>& sticks);

// The virtual stick as the front-ends see it.
class SimStick final : public term::StickControl {
  public:
    explicit SimStick(sim::VirtualStick& stick) : m_stick(stick) {}

    // The axes are the stick's own, so that what the panel shows follows
    // whatever moves the stick, plugging it back in included.
    void SetAxes(std::uint16_t x, std::uint16_t y) override { m_stick.SetAxes(x, y); }
    std::uint16_t X() const override { return m_stick.X(); }
    std::uint16_t Y() const override { return m_stick.Y(); }
    void Unplug() override { m_stick.Unplug(); }
    void Plug() override { m_stick.Plug(); }
    bool Plugged() const override { return m_stick.Plugged(); }
    std::uint64_t ReportsConsumed() const override { return m_stick.ReportsConsumed(); }

  private:
    sim::VirtualStick& m_stick;
};

}  // namespace app
