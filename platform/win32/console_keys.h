// The keys of a Windows console as the terminal front-end reads keys: each
// key event becomes the escape sequence of the progressive keyboard protocol
// that a terminal speaking it would send, with its press, repeat or
// release. The console reports real releases, so the front-end then needs
// no guessing. Free of OS headers, so that it is tested on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// KEY_EVENT_RECORD, as far as the keys here need it.
struct ConsoleKey {
    std::uint16_t virtualKey = 0;
    char16_t ch = 0;  // the character the key types, 0 for none
    bool down = false;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
};

class ConsoleKeyEncoder {
  public:
    // What a terminal answers to the protocol's query: releases are reported.
    static const char* ProtocolAnswer();
    // The bytes for one event; empty for keys that stand for nothing here
    // (Shift, Ctrl and Alt themselves, function keys).
    std::string Encode(const ConsoleKey& key);

  private:
    std::vector<std::uint16_t> m_down;  // keys pressed and not yet released
};

}  // namespace plat
