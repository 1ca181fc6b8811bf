// Key releases from terminals that speak the progressive keyboard protocol:
// its key reports decoded with their events, and the held-key rule giving
// way to real key-ups, so that two quick Space presses are two presses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_defs.h"
#include "term/keys.h"

namespace {

using term::Key;
using term::KeyEvent;
using term::KeyKind;
using term::KeyTransition;

std::vector<Key> Decode(const std::string& bytes) {
    term::KeyDecoder decoder;
    std::vector<Key> keys;
    decoder.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &keys);
    decoder.Flush(&keys);
    return keys;
}

std::string Describe(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& k : keys) {
        text += std::to_string(static_cast<int>(k.kind)) + "/" + std::to_string(k.ch) + "/" +
                std::to_string(static_cast<int>(k.event)) + " ";
    }
    return text;
}

TEST(KeyboardProtocol, KeyReportsDecodeWithTheirEvents) {
    constexpr auto kPress = KeyEvent::kPress;
    constexpr auto kRepeat = KeyEvent::kRepeat;
    constexpr auto kRelease = KeyEvent::kRelease;
    const struct {
        const char* bytes;
        std::vector<Key> keys;
    } cases[] = {
        {"\x1b[32u", {{KeyKind::kSpace, 0, kPress}}},
        {"\x1b[32;1:2u\x1b[32;1:3u",
         {{KeyKind::kSpace, 0, kRepeat}, {KeyKind::kSpace, 0, kRelease}}},
        {"\x1b[13u\x1b[27u\x1b[9u\x1b[127u",
         {{KeyKind::kEnter}, {KeyKind::kEscape}, {KeyKind::kTab}, {KeyKind::kBackspace}}},
        {"\x1b[113u", {{KeyKind::kChar, 'q'}}},
        // Shift: the shifted key when the terminal gives it, else the capital.
        {"\x1b[49:33;2u\x1b[97;2u", {{KeyKind::kChar, '!'}, {KeyKind::kChar, 'A'}}},
        {"\x1b[99;5u\x1b[108;5u\x1b[122;5:3u\x1b[120;5u",
         {{KeyKind::kCtrlC}, {KeyKind::kCtrlL}, {KeyKind::kCtrlZ, 0, kRelease}, {KeyKind::kOther}}},
        // Arrows keep their form and carry the event after the modifiers.
        {"\x1b[A\x1b[1;1:3C\x1b[3;1:2~",
         {{KeyKind::kUp}, {KeyKind::kRight, 0, kRelease}, {KeyKind::kDelete, 0, kRepeat}}},
        // Beyond ASCII: the UTF-8 bytes; keys without text: nothing to type.
        {"\x1b[233u", {{KeyKind::kChar, 0xC3}, {KeyKind::kChar, 0xA9}}},
        {"\x1b[57441;2u\x1b[57399u\x1b[55296u\x1b[99999999999u",
         {{KeyKind::kOther}, {KeyKind::kOther}, {KeyKind::kOther}, {KeyKind::kOther}}},
        // The answer to the query, with the flags in force.
        {"\x1b[?15u", {{KeyKind::kKeyboardProtocol, 15}}},
        {"\x1b[?0u", {{KeyKind::kKeyboardProtocol, 0}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(Decode(c.bytes)), Describe(c.keys)) << c.bytes + 1;
    }
}

TEST(KeyboardProtocol, ReportedReleasesMakeTwoQuickPressesTwo) {
    const auto vk = static_cast<unsigned>(VK_SPACE);
    std::vector<KeyTransition> out;
    term::HeldKeys held;
    // Guessed from repeats: a press held by the guess ends when the real
    // releases take over.
    held.Press(vk, 0, &out);
    held.UseReportedReleases(&out);
    // Down, up, down, up within 100 ms: two presses, where the guess would
    // have made one held key.
    held.Press(vk, 10, &out);
    held.Release(vk, &out);
    held.Press(vk, 60, &out);
    held.Release(vk, &out);
    // A repeat is a key-down again; a release of a key not down is nothing.
    held.Press(vk, 80, &out);
    held.Press(vk, 90, &out);
    held.Release('A', &out);
    // No guessed release however long it is held; several keys may be down.
    EXPECT_EQ(held.MsUntilRelease(100000), -1);
    held.Press('A', 100, &out);
    held.ReleaseAll(&out);

    std::string text;
    for (const KeyTransition& t : out) text += (t.down ? "+" : "-") + std::to_string(t.vk) + " ";
    EXPECT_EQ(text, "+32 -32 +32 -32 +32 -32 +32 +32 +65 -32 -65 ");
}

}  // namespace
