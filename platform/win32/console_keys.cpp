#include "platform/win32/console_keys.h"

#include <algorithm>

namespace plat {
namespace {

// Virtual-key codes (winuser.h).
constexpr std::uint16_t kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkEscape = 0x1B,
                        kVkSpace = 0x20, kVkEnd = 0x23, kVkHome = 0x24, kVkLeft = 0x25,
                        kVkUp = 0x26, kVkRight = 0x27, kVkDown = 0x28, kVkDelete = 0x2E;

// The protocol's modifier field: 1 + shift 1, alt 2, ctrl 4.
unsigned Modifiers(const ConsoleKey& key) {
    return 1 + (key.shift ? 1u : 0u) + (key.alt ? 2u : 0u) + (key.ctrl ? 4u : 0u);
}

std::string Sequence(unsigned code, unsigned modifiers, int event, char final) {
    std::string s = "\x1b[";
    s += std::to_string(code) + ";" + std::to_string(modifiers) + ":" + std::to_string(event);
    s += final;
    return s;
}

}  // namespace

const char* ConsoleKeyEncoder::ProtocolAnswer() {
    return "\x1b[?15u";
}

std::string ConsoleKeyEncoder::Encode(const ConsoleKey& key) {
    const auto held = std::find(m_down.begin(), m_down.end(), key.virtualKey);
    int event = 3;
    if (key.down) {
        event = held != m_down.end() ? 2 : 1;
        if (held == m_down.end()) m_down.push_back(key.virtualKey);
    } else if (held != m_down.end()) {
        m_down.erase(held);
    }
    // Keys without text first: the console gives some of them a control
    // character (Enter 13, Escape 27), and some none at all.
    const unsigned modifiers = Modifiers(key);
    switch (key.virtualKey) {
        case kVkUp:
            return Sequence(1, modifiers, event, 'A');
        case kVkDown:
            return Sequence(1, modifiers, event, 'B');
        case kVkRight:
            return Sequence(1, modifiers, event, 'C');
        case kVkLeft:
            return Sequence(1, modifiers, event, 'D');
        case kVkHome:
            return Sequence(1, modifiers, event, 'H');
        case kVkEnd:
            return Sequence(1, modifiers, event, 'F');
        case kVkDelete:
            return Sequence(3, modifiers, event, '~');
        case kVkReturn:
            return Sequence(13, modifiers, event, 'u');
        case kVkEscape:
            return Sequence(27, modifiers, event, 'u');
        case kVkTab:
            return Sequence(9, modifiers, event, 'u');
        case kVkBack:
            return Sequence(127, modifiers, event, 'u');
        case kVkSpace:
            return Sequence(32, modifiers, event, 'u');
        default:
            break;
    }
    // Ctrl with a letter types a control character; the protocol names the
    // letter. Ctrl with Alt is AltGr, which types the character it shows.
    if (key.ctrl && !key.alt && key.virtualKey >= 'A' && key.virtualKey <= 'Z') {
        return Sequence(key.virtualKey - 'A' + 'a', modifiers, event, 'u');
    }
    if (key.ch < 0x20 || key.ch == 0x7F) return {};
    // The character as typed, shift already applied.
    return Sequence(key.ch, 1, event, 'u');
}

}  // namespace plat
