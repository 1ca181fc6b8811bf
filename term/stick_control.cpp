#include "term/stick_control.h"

namespace term {
namespace {

constexpr std::uint16_t kCentre = 0x8000;
constexpr std::uint16_t kLow = 0x0000;
constexpr std::uint16_t kHigh = 0xFFFF;

}  // namespace

void ApplyPanelAction(StickControl& stick, PanelAction action) {
    // Y grows downwards: up is the small end.
    switch (action) {
        case PanelAction::kUp:
            stick.SetAxes(kCentre, kLow);
            break;
        case PanelAction::kDown:
            stick.SetAxes(kCentre, kHigh);
            break;
        case PanelAction::kLeft:
            stick.SetAxes(kLow, kCentre);
            break;
        case PanelAction::kRight:
            stick.SetAxes(kHigh, kCentre);
            break;
        case PanelAction::kCentre:
            stick.SetAxes(kCentre, kCentre);
            break;
        case PanelAction::kTogglePlug:
            if (stick.Plugged()) {
                stick.Unplug();
            } else {
                stick.Plug();
            }
            break;
        case PanelAction::kNone:
            break;
    }
}

}  // namespace term
