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
    // The terminal's answer to the keyboard protocol query; ch holds the low
    // byte of the flags in force (2: releases are reported).
    kKeyboardProtocol,
};

// What happened to the key. Terminals without the progressive keyboard
// protocol report presses only (a held key as presses again and again).
enum class KeyEvent : std::uint8_t { kPress, kRepeat, kRelease };

struct Key {
    KeyKind kind = KeyKind::kOther;
    unsigned char ch = 0;  // kChar only
    KeyEvent event = KeyEvent::kPress;
};

bool operator==(const Key& a, const Key& b);

// Turns terminal input into keys. An ESC byte may begin a sequence (arrow
// keys send "ESC [ A") or be the Escape key itself; which one is told by
// what follows, or by nothing following for a while (Flush). Keys of the
// progressive keyboard protocol ("ESC [ code ; modifiers : event u", and the
// event after the modifiers of the older forms) come with their event.
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
// (auto-repeat) and, without the keyboard protocol, never reports its
// release. A key that arrives again
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
    // The terminal reports releases: from now on a key goes down on each
    // press or repeat and up only on its release, with no guessing; several
    // keys may be down at once. A key held by the guess is released first.
    void UseReportedReleases(std::vector<KeyTransition>* out);
    bool UsesReportedReleases() const { return m_reported; }
    // A reported release: the key-up, if the key is down.
    void Release(unsigned vk, std::vector<KeyTransition>* out);
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
    bool m_reported = false;
    std::vector<unsigned> m_down;  // with reported releases
};

}  // namespace term
