// Keys from a terminal: the byte stream decoded into key presses, presses
// mapped to the virtual keys the dialog understands, and the held-key rule
// that stands in for the key-ups a terminal never reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace term {

enum class KeyKind {
    kChar,  // a printable character (or one byte of a UTF-8 sequence)
    kSpace,
    kEnter,
    kEscape,
    kTab,
    kBackspace,
    kDelete,
    kUp,
    kDown,
    kLeft,
    kRight,
    kHome,
    kEnd,
    kCtrlC,
    kCtrlL,
    kCtrlZ,
    kOther,  // a key with no meaning here (function keys, other controls)
};

struct Key {
    KeyKind kind = KeyKind::kOther;
    unsigned char ch = 0;  // kChar only
};

bool operator==(const Key& a, const Key& b);

// Turns terminal input into keys. An ESC byte may begin a sequence (arrow
// keys send "ESC [ A") or be the Escape key itself; which one is told by
// what follows, or by nothing following for a while (Flush).
class KeyDecoder {
  public:
    void Feed(const unsigned char* data, std::size_t size, std::vector<Key>* out);
    // Input has paused: a lone ESC was the Escape key, and an unfinished
    // sequence is dropped.
    void Flush(std::vector<Key>* out);
    bool Pending() const { return !m_pending.empty(); }

  private:
    void Decode(std::vector<Key>* out, bool flushing);
    std::string m_pending;
};

// The virtual key that a press stands for, or 0 when it has none. Letters
// give their upper-case code whatever the case typed, shifted digits and
// punctuation the key they are on (US layout), as a keyboard reports them.
unsigned VirtualKeyOf(const Key& key);

// A key-down or key-up for the dialog.
struct KeyTransition {
    unsigned vk = 0;
    bool down = false;
};

// A terminal reports a held key as the same key arriving again and again
// (auto-repeat) and never reports its release. A key that arrives again
// while it counts as held is a repeated key-down; the key-up follows once it
// has stopped arriving: `firstGapMs` after a single press (the typematic
// delay before repeats begin), `repeatGapMs` after its last repeat. Another
// key releases the held one first, as only the last key pressed repeats.
class HeldKeys {
  public:
    static constexpr std::uint32_t kFirstGapMs = 600;
    static constexpr std::uint32_t kRepeatGapMs = 250;

    explicit HeldKeys(std::uint32_t firstGapMs = kFirstGapMs,
                      std::uint32_t repeatGapMs = kRepeatGapMs)
        : m_firstGap(firstGapMs), m_repeatGap(repeatGapMs) {}

    void Press(unsigned vk, std::uint64_t nowMs, std::vector<KeyTransition>* out);
    // Releases the held key if it has stopped repeating by `nowMs`.
    void Tick(std::uint64_t nowMs, std::vector<KeyTransition>* out);
    void ReleaseAll(std::vector<KeyTransition>* out);
    // Milliseconds until Tick would release the held key; -1 when none is.
    std::int64_t MsUntilRelease(std::uint64_t nowMs) const;

  private:
    std::uint32_t m_firstGap;
    std::uint32_t m_repeatGap;
    bool m_held = false;
    bool m_repeating = false;
    unsigned m_vk = 0;
    std::uint64_t m_last = 0;
};

}  // namespace term
