// What the front-ends do to a stick that a program can move: the virtual
// stick of --simulate. The panel of the interactive front-end and the script
// runner both drive it through this.
#pragma once

#include <cstdint>

namespace term {

class StickControl {
  public:
    virtual ~StickControl() = default;
    virtual void SetAxes(std::uint16_t x, std::uint16_t y) = 0;
    virtual std::uint16_t X() const = 0;
    virtual std::uint16_t Y() const = 0;
    virtual void Unplug() = 0;
    virtual void Plug() = 0;
    virtual bool Plugged() const = 0;
    // Reports handed to the dialog's reads so far.
    virtual std::uint64_t ReportsConsumed() const = 0;
};

// The panel's keys: arrows push the stick fully in their direction (the
// other axis centred), `c` centres it, `u` unplugs it or plugs it back.
enum class PanelAction { kNone, kUp, kDown, kLeft, kRight, kCentre, kTogglePlug };
void ApplyPanelAction(StickControl& stick, PanelAction action);

}  // namespace term
