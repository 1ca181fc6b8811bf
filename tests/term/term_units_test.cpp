// The terminal front-end's pieces that can go wrong on their own: key
// decoding, the held-key rule, text cleaning, the save prompt's checks and
// the picture decoder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>

#include "platform/win_defs.h"
#include "term/boxes.h"
#include "term/canvas.h"
#include "term/clean_text.h"
#include "term/keys.h"
#include "term/picture.h"
#include "ui/resource.h"

namespace term {
namespace {

std::string DecodeAll(const std::vector<std::string>& chunks, bool flush) {
    static const char* kNames[] = {"char", "space", "enter", "esc",  "tab",   "bs",
                                   "del",  "up",    "down",  "left", "right", "home",
                                   "end",  "^C",    "^L",    "^Z",   "other"};
    KeyDecoder d;
    std::vector<Key> keys;
    for (const std::string& c : chunks) {
        d.Feed(reinterpret_cast<const unsigned char*>(c.data()), c.size(), &keys);
    }
    if (flush) d.Flush(&keys);
    std::string out;
    for (const Key& k : keys) {
        out += std::string(out.empty() ? "" : " ") + kNames[static_cast<int>(k.kind)];
        if (k.kind == KeyKind::kChar) out += std::string(":") + static_cast<char>(k.ch);
    }
    return out;
}

TEST(KeyDecoder, TurnsBytesIntoKeys) {
    const struct {
        std::vector<std::string> chunks;
        bool flush;
        std::string expected;
    } cases[] = {
        {{" a\r\t"}, false, "space char:a enter tab"},
        {{"\x1b[A\x1b[B\x1b[C\x1b[D"}, false, "up down right left"},
        {{"\x1bOA\x1bOD"}, false, "up left"},  // application cursor mode
        {{"\x1b[1;5C"}, false, "right"},       // with a modifier
        {{"\x1b[3~\x1b[H\x1b[4~"}, false, "del home end"},
        {{"\x1b"}, false, ""},             // may be a sequence's start
        {{"\x1b"}, true, "esc"},           // nothing followed: Escape
        {{"\x1b[", "A"}, false, "up"},     // split across reads
        {{"\x1bq"}, false, "esc char:q"},  // Alt+q
        {{"\x1b\x1b[A"}, false, "esc up"},
        {{"\x03\x1a\x0c\x7f"}, false, "^C ^Z ^L bs"},
        {{"\x1b[15~"}, false, "other"},  // F5: no key of ours
        // An over-long sequence is given up, not buffered without end.
        {{"\x1b[" + std::string(40, '1')},
         false,
         "other char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1"},
        {{"\x1b[\x01x"}, false, "other other char:x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeAll(c.chunks, c.flush), c.expected)
            << testing::PrintToString(c.chunks) << (c.flush ? " then a pause" : "");
    }
}

TEST(HeldKeys, StandsInForTheKeyUpsATerminalNeverReports) {
    // 'p' = a press of Space at t, 'x' = a press of X, 't' = time passes to t.
    const struct {
        const char* what;
        std::vector<std::pair<char, std::uint64_t>> events;
        std::string expected;
    } cases[] = {
        {"a single press is released after the typematic delay",
         {{'p', 0}, {'t', 300}, {'t', 600}, {'t', 601}},
         "Sv@0 S^@601 "},
        {"auto-repeat is one held key, released once the repeats stop",
         {{'p', 0}, {'p', 500}, {'p', 530}, {'p', 560}, {'t', 800}, {'t', 811}},
         "Sv@0 Sv@500 Sv@530 Sv@560 S^@811 "},
        {"a press after the release is a new press",
         {{'p', 0}, {'t', 700}, {'p', 900}},
         "Sv@0 S^@700 Sv@900 "},
        {"another key releases the held one first",
         {{'p', 0}, {'x', 100}, {'t', 800}},
         "Sv@0 S^@100 Xv@100 X^@800 "},
        {"a gap longer than the repeat gap ends the hold",
         {{'p', 0}, {'p', 500}, {'p', 800}},
         "Sv@0 Sv@500 S^@800 Sv@800 "},
    };
    for (const auto& c : cases) {
        HeldKeys held(600, 250);
        std::string out;
        for (const auto& [what, t] : c.events) {
            std::vector<KeyTransition> tr;
            if (what == 'p') held.Press(VK_SPACE, t, &tr);
            if (what == 'x') held.Press('X', t, &tr);
            if (what == 't') held.Tick(t, &tr);
            for (const KeyTransition& k : tr) {
                out += std::string(k.vk == VK_SPACE ? "S" : "X") + (k.down ? "v@" : "^@") +
                       std::to_string(t) + " ";
            }
        }
        EXPECT_EQ(out, c.expected) << c.what;
    }
    // The front end sleeps until the release is due, and no longer.
    HeldKeys held(600, 250);
    EXPECT_EQ(held.MsUntilRelease(0), -1);
    std::vector<KeyTransition> tr;
    held.Press(VK_SPACE, 1000, &tr);
    EXPECT_EQ(held.MsUntilRelease(1000), 601);
    EXPECT_EQ(held.MsUntilRelease(2000), 0);
}

// What the terminal may be sent: well-formed UTF-8 (shortest form, no
// surrogates, nothing above U+10FFFF) without C0 or C1 controls or DEL.
bool SafeForTerminal(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
        const int n = b(0) < 0x80       ? 1
                      : b(0) >> 5 == 6  ? 2
                      : b(0) >> 4 == 14 ? 3
                      : b(0) >> 3 == 30 ? 4
                                        : 0;
        if (n == 0 || i + static_cast<std::size_t>(n) > s.size()) return false;
        std::uint32_t cp = n == 1 ? b(0) : b(0) & (0x7Fu >> n);
        for (int k = 1; k < n; ++k) {
            if ((b(static_cast<std::size_t>(k)) & 0xC0) != 0x80) return false;
            cp = cp << 6 | (b(static_cast<std::size_t>(k)) & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Joined(const std::vector<std::string>& glyphs) {
    std::string out;
    for (const std::string& g : glyphs) out += g;
    return out;
}

TEST(CleanText, ControlsAndBrokenUtf8BecomeAVisiblePlaceholder) {
    const std::string P(kPlaceholder);
    const struct {
        const char* what;
        std::string in, expected;
    } cases[] = {
        {"plain ASCII and UTF-8 stay", "Kx9 “SPACE” é ─ 😀", "Kx9 “SPACE” é ─ 😀"},
        {"a device naming itself with escapes",
         "Kx9 \x1b]0;owned-title\x07\x1b[2J\x1b[1;31mFAKE PROMPT",
         "Kx9 " + P + "]0;owned-title" + P + P + "[2J" + P + "[1;31mFAKE PROMPT"},
        {"C0 controls, tab and line ends too", "\t\r\n\x01", P + P + P + P},
        {"DEL", "a\x7f", "a" + P},
        {"C1 CSI as UTF-8 is one character",
         "\xc2\x9b"
         "31m",
         P + "31m"},
        {"C1 as a lone byte", "\x9b\x85", P + P},
        {"the first character past C1 stays", "\xc2\xa0", "\xc2\xa0"},
        {"overlong ESC in three bytes", "\xe0\x80\x9b", P + P + P},
        {"overlong ESC in four bytes", "\xf0\x80\x80\x9b", P + P + P + P},
        {"overlong in two bytes", "\xc0\x9b\xc1\xbf", P + P + P + P},
        {"surrogates", "\xed\xa0\x80\xed\xbf\xbf", P + P + P + P + P + P},
        {"U+D7FF and U+E000 border them", "\xed\x9f\xbf\xee\x80\x80", "\xed\x9f\xbf\xee\x80\x80"},
        {"above U+10FFFF", "\xf4\x90\x80\x80\xf5\x80\x80\x80", P + P + P + P + P + P + P + P},
        {"U+10FFFF itself stays", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        {"cut short at the end: one placeholder for what was begun", "ab\xf0\x9f\x98", "ab" + P},
        {"cut short before a character",
         "\xe2\x80"
         "A\xe2",
         P + "A" + P},
        {"continuations without a lead", "\x80\xbf", P + P},
        {"bytes that never occur", "\xfe\xff", P + P},
        {"NUL", std::string("a\0b", 3), "a" + P + "b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanText(c.in), c.expected) << c.what;
        EXPECT_EQ(Joined(SplitGlyphs(c.in)), c.expected) << c.what;
    }
}

// Random bytes, weighted towards those that begin sequences, controls and
// the edges of the valid ranges: what comes out is always safe, is one
// character per glyph, and is left alone when cleaned again.
TEST(CleanText, RandomBytesNeverComeOutAsControlsOrBrokenUtf8) {
    std::mt19937 random(20261207);
    const unsigned char edges[] = {0x00, 0x07, 0x1b, 0x7f, 0x80, 0x9b, 0x9f, 0xa0, 0xbf,
                                   0xc0, 0xc1, 0xc2, 0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4,
                                   0xf5, 0xff, '[',  ']',  'a',  0x8f, 0x90};
    int kept = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string in;
        for (std::size_t n = random() % 24; in.size() < n;) {
            in += static_cast<char>(random() % 2 ? edges[random() % std::size(edges)] : random());
        }
        const std::string out = CleanText(in);
        ASSERT_TRUE(SafeForTerminal(out)) << testing::PrintToString(in);
        for (const std::string& g : SplitGlyphs(in)) {
            ASSERT_TRUE(SafeForTerminal(g) && SplitGlyphs(g).size() == 1u)
                << testing::PrintToString(in) << " gave glyph " << testing::PrintToString(g);
        }
        ASSERT_EQ(CleanText(out), out) << testing::PrintToString(in);
        kept += SafeForTerminal(in) && out == in;
    }
    EXPECT_GT(kept, 100) << "valid text must come through unchanged";
}

TEST(Canvas, DrawsOnlyCleanedText) {
    Canvas canvas(40, 1, Rgb{}, Rgb{});
    canvas.Text(0, 0, "\x1b]0;owned\x07\xe0\x80\x9b[2J", Rgb{}, Rgb{});
    const std::string ansi = canvas.ToAnsi();
    EXPECT_EQ(ansi.find("\x1b]"), std::string::npos);
    EXPECT_EQ(ansi.find('\x07'), std::string::npos);
    EXPECT_EQ(ansi.find("\xe0\x80"), std::string::npos);
    std::string text = canvas.ToText();
    text.erase(text.find_last_not_of(' ') + 1);
    const std::string P(kPlaceholder);
    EXPECT_EQ(text, P + "]0;owned" + P + P + P + P + "[2J");
}

TEST(SavePrompt, AsksBeforeReplacingAndRefusesAMissingFolder) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kx9-save-prompt";
    fs::create_directories(dir);
    std::ofstream(dir / "old.txt") << "keep";
    plat::vws::FileDialogCall call;
    call.defaultExt = "*.txt";
    call.fileName = "Kx9_Joystick_FW.txt";
    call.flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;

    SavePrompt missing(call, dir.string());
    missing.SetName("no-such-folder/dump.txt");
    missing.Submit();
    EXPECT_EQ(missing.GetState(), SavePrompt::State::kEditing) << missing.Message();

    SavePrompt typed(call, dir.string());
    typed.SetName("dump");
    typed.Submit();
    ASSERT_EQ(typed.GetState(), SavePrompt::State::kConfirmed);
    EXPECT_EQ(fs::path(typed.Path()), dir / "dump.txt");

    for (const char answer : {'n', 'y'}) {
        SavePrompt existing(call, dir.string());
        existing.SetName("old.txt");
        existing.Submit();
        ASSERT_EQ(existing.GetState(), SavePrompt::State::kConfirmOverwrite);
        existing.OnKey(Key{KeyKind::kChar, static_cast<unsigned char>(answer)});
        if (answer == 'n') {
            EXPECT_NE(existing.GetState(), SavePrompt::State::kConfirmed) << "No replaces nothing";
        } else {
            EXPECT_EQ(existing.GetState(), SavePrompt::State::kConfirmed);
        }
    }
    fs::remove_all(dir);
}

TEST(Pictures, ShortOrBrokenFilesAreRefusedNotRead) {
    const plat::ResourceBytes real = plat::FindBitmapResource(IDB_STEP_1);
    ASSERT_NE(real.data, nullptr);
    const std::vector<std::uint8_t> bytes(real.data, real.data + real.size);
    Image image;
    ASSERT_TRUE(DecodeBmp(plat::ResourceBytes{bytes.data(), bytes.size()}, &image));
    EXPECT_EQ(image.width, 175);
    EXPECT_EQ(image.height, 204);
    // Every length short of the whole file, each an exact-size copy so a read
    // past its end trips the sanitizer.
    for (std::size_t n = 0; n < bytes.size(); n += 97) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + n);
        EXPECT_FALSE(DecodeBmp(plat::ResourceBytes{cut.data(), n}, &image)) << n << " bytes";
    }
    // Header fields that claim more than the file holds, or what it is not.
    const struct {
        std::size_t at;
        std::uint32_t value;
    } patches[] = {{18, 0x7FFFFFFF}, {22, 0x80000000u}, {10, 0xFFFFFFF0u}, {28, 8}, {30, 1}};
    for (const auto& p : patches) {
        std::vector<std::uint8_t> bad = bytes;
        for (int i = 0; i < 4; ++i) bad[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
        EXPECT_FALSE(DecodeBmp(plat::ResourceBytes{bad.data(), bad.size()}, &image))
            << "offset " << p.at << " set to " << p.value;
    }
}

}  // namespace
}  // namespace term
