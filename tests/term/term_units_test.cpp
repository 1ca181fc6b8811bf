// The terminal front-end's pieces that can go wrong on their own: key
// decoding (the progressive keyboard protocol's reports too, and the Windows
// console's key events as they become them), the held-key
// rule, text cleaning, the save prompt's checks, the picture decoder and the
// status line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "platform/utf16.h"
#include "platform/win32/console_keys.h"
#include "platform/win_defs.h"
#include "term/save_prompt.h"
#include "term/canvas.h"
#include "term/clean_text.h"
#include "term/keys.h"
#include "term/picture.h"
#include "term/status_line.h"
#include "ui/resource.h"

namespace term {
namespace {

// The keys of the bytes read in these chunks, then a pause (a flush).
std::string DecodeAll(const std::vector<std::string>& chunks) {
    static const char* kNames[] = {"char", "space", "enter", "esc",  "tab",   "bs",
                                   "del",  "up",    "down",  "left", "right", "home",
                                   "end",  "^C",    "^L",    "^Z",   "other", "protocol"};
    KeyDecoder d;
    std::vector<Key> keys;
    for (const std::string& c : chunks) {
        d.Feed(reinterpret_cast<const unsigned char*>(c.data()), c.size(), &keys);
    }
    d.Flush(&keys);
    std::string out;
    for (const Key& k : keys) {
        out += std::string(out.empty() ? "" : " ") + kNames[static_cast<int>(k.kind)];
        if (k.kind == KeyKind::kChar) out += std::string(":") + static_cast<char>(k.ch);
        if (k.kind == KeyKind::kKeyboardProtocol) out += ":" + std::to_string(k.ch);
        if (k.event != KeyEvent::kPress) out += k.event == KeyEvent::kRepeat ? "(repeat)" : "(up)";
    }
    return out;
}

TEST(KeyDecoder, TurnsBytesIntoKeys) {
    const struct {
        std::vector<std::string> chunks;
        std::string expected;
    } cases[] = {
        {{" a\r\t"}, "space char:a enter tab"},
        // Arrows plain, in application cursor mode and with a modifier.
        {{"\x1b[A\x1b[B\x1b[C\x1b[D\x1bOA\x1bOD\x1b[1;5C"}, "up down right left up left right"},
        {{"\x1b[3~\x1b[H\x1b[4~"}, "del home end"},
        {{"\x1b"}, "esc"},                           // nothing followed: Escape
        {{"\x1b", "[A"}, "up"},                      // but it may be a sequence's start
        {{"\x1b[", "A"}, "up"},                      // split across reads
        {{"\x1bq\x1b\x1b[A"}, "esc char:q esc up"},  // Alt+q, Escape before an arrow
        {{"\x03\x1a\x0c\x7f"}, "^C ^Z ^L bs"},
        // F5: no key of ours; a control inside a sequence ends it.
        {{"\x1b[15~\x1b[\x01x"}, "other other other char:x"},
        // An over-long sequence is given up, not buffered without end.
        {{"\x1b[" + std::string(40, '1')},
         "other char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1"},
        // The progressive keyboard protocol's key reports, with their events.
        {{"\x1b[32u\x1b[32;1:2u\x1b[32;1:3u"}, "space space(repeat) space(up)"},
        {{"\x1b[13u\x1b[27u\x1b[9u\x1b[127u\x1b[113u"}, "enter esc tab bs char:q"},
        // Shift: the shifted key when the terminal gives it, else the capital.
        {{"\x1b[49:33;2u\x1b[97;2u"}, "char:! char:A"},
        {{"\x1b[99;5u\x1b[108;5u\x1b[122;5:3u\x1b[120;5u"}, "^C ^L ^Z(up) other"},
        // Arrows keep their form and carry the event after the modifiers.
        {{"\x1b[A\x1b[1;1:3C\x1b[3;1:2~"}, "up right(up) del(repeat)"},
        // Beyond ASCII: the UTF-8 bytes; keys without text: nothing to type.
        {{"\x1b[233u"}, "char:\xC3 char:\xA9"},
        {{"\x1b[57441;2u\x1b[57399u\x1b[55296u\x1b[99999999999u"}, "other other other other"},
        // The answer to the query, with the flags in force.
        {{"\x1b[?15u\x1b[?0u"}, "protocol:15 protocol:0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeAll(c.chunks), c.expected) << testing::PrintToString(c.chunks);
    }
}

// Each console event goes through the encoder and then the decoder the
// terminal's bytes go through: what the front-end sees of a console key.
TEST(ConsoleKeys, EventsArriveAsTheKeysATerminalWouldReport) {
    using plat::ConsoleKey;
    constexpr bool kDown = true, kUp = false;
    const ConsoleKey space{0x20, u' ', kDown}, spaceUp{0x20, u' ', kUp};
    const struct {
        std::vector<ConsoleKey> events;
        std::string expected;
    } cases[] = {
        // A held key: press, the console's repeats, the real release.
        {{space, space, space, spaceUp}, "space space(repeat) space(repeat) space(up)"},
        // A release with no press seen (the Enter that started the program).
        {{{0x0D, u'\r', kUp}}, "enter(up)"},
        {{{0x41, u'a', kDown}, {0x41, u'A', kDown, false, false, true}}, "char:a char:A(repeat)"},
        // Ctrl+C and Ctrl+Z as keys; AltGr (Ctrl and Alt) types what it shows.
        {{{0x43, 0x03, kDown, true}, {0x5A, 0x1A, kDown, true}, {0x51, u'@', kDown, true, true}},
         "^C ^Z char:@"},
        // Keys without text, Escape as Wine gives it (no character).
        {{{0x26, 0, kDown}, {0x25, 0, kUp}, {0x1B, 0, kDown}, {0x2E, 0, kDown}, {0x24, 0, kDown}},
         "up left(up) esc del home"},
        // Modifiers alone and keys of no meaning type nothing.
        {{{0x10, 0, kDown}, {0x11, 0, kDown}, {0x70, 0, kDown}}, ""},
        {{{0xDE, u'\u00E9', kDown}}, "char:\xC3 char:\xA9"},
    };
    for (const auto& c : cases) {
        plat::ConsoleKeyEncoder encoder;
        std::string bytes;
        for (const ConsoleKey& k : c.events) bytes += encoder.Encode(k);
        EXPECT_EQ(DecodeAll({bytes}), c.expected) << testing::PrintToString(bytes);
    }
    // What the console backend answers first: releases are reported.
    EXPECT_EQ(DecodeAll({plat::ConsoleKeyEncoder::ProtocolAnswer()}), "protocol:15");
}

// Device paths and strings from Windows: valid UTF-8 whatever the device says.
TEST(Utf16, BecomesValidUtf8UpToTheFirstNul) {
    const struct {
        std::u16string text;
        std::string expected;
    } cases[] = {
        {u"\\\\?\\hid#vid_0f3d", "\\\\?\\hid#vid_0f3d"},
        {u"S\u00E9rie \u20AC", "S\xC3\xA9rie \xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00),
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {std::u16string(u"ab\0cd", 5), "ab"},
    };
    for (const auto& c : cases) EXPECT_EQ(plat::Utf8FromUtf16(c.text), c.expected);
}

TEST(HeldKeys, StandsInForTheKeyUpsATerminalNeverReports) {
    // 'p' = a press of Space at t, 'x' = a press of X, 't' = time passes to t.
    const struct {
        const char* what;
        std::vector<std::pair<char, std::uint64_t>> events;
        std::string expected;
    } cases[] = {
        // clang-format off
        {"a single press is released after the typematic delay",
         {{'p', 0}, {'t', 300}, {'t', 600}, {'t', 601}}, "Sv@0 S^@601 "},
        {"auto-repeat is one held key, released once the repeats stop",
         {{'p', 0}, {'p', 500}, {'p', 530}, {'p', 560}, {'t', 800}, {'t', 811}},
         "Sv@0 Sv@500 Sv@530 Sv@560 S^@811 "},
        {"a press after the release is a new press",
         {{'p', 0}, {'t', 700}, {'p', 900}}, "Sv@0 S^@700 Sv@900 "},
        {"another key releases the held one first",
         {{'p', 0}, {'x', 100}, {'t', 800}}, "Sv@0 S^@100 Xv@100 X^@800 "},
        {"a gap longer than the repeat gap ends the hold",
         {{'p', 0}, {'p', 500}, {'p', 800}}, "Sv@0 Sv@500 S^@800 Sv@800 "},
        // clang-format on
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

// Where the terminal reports key releases the held-key rule gives way to
// them, so that two quick Space presses are two presses.
TEST(HeldKeys, ReportedReleasesMakeTwoQuickPressesTwo) {
    const auto vk = static_cast<unsigned>(VK_SPACE);
    std::vector<KeyTransition> out;
    HeldKeys held;
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
    for (const KeyTransition& t : out) {
        text += t.down ? '+' : '-';
        text += std::to_string(t.vk) + ' ';
    }
    EXPECT_EQ(text, "+32 -32 +32 -32 +32 -32 +32 +32 +65 -32 -65 ");
}

std::string Joined(const std::vector<std::string>& glyphs) {
    std::string out;
    for (const std::string& g : glyphs) out += g;
    return out;
}

TEST(CleanText, ControlsAndBrokenUtf8BecomeAVisiblePlaceholder) {
    const std::string P(kPlaceholder);
    const auto Ps = [&](int n) {
        std::string out;
        while (n-- > 0) out += P;
        return out;
    };
    const struct {
        const char* what;
        std::string in, expected;
    } cases[] = {
        {"plain ASCII and UTF-8 stay", "Kx9 “SPACE” é ─ 😀", "Kx9 “SPACE” é ─ 😀"},
        {"a device naming itself with escapes",
         "Kx9 \x1b]0;owned-title\x07\x1b[2J\x1b[1;31mFAKE PROMPT",
         "Kx9 " + P + "]0;owned-title" + P + P + "[2J" + P + "[1;31mFAKE PROMPT"},
        {"C0 controls, tab, line ends, DEL and NUL", std::string("\t\r\n\x01\x7f\0b", 7),
         Ps(6) + "b"},
        {"C1 as UTF-8 is one character, as a lone byte one each", "m\xc2\x9b\x9b\x85", "m" + Ps(3)},
        {"the first character past C1, U+D7FF, U+E000 and U+10FFFF stay",
         "\xc2\xa0\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf",
         "\xc2\xa0\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf"},
        {"overlong ESC in two, three and four bytes",
         "\xc0\x9b\xc1\xbf\xe0\x80\x9b\xf0\x80\x80\x9b", Ps(11)},
        {"surrogates and above U+10FFFF",
         "\xed\xa0\x80\xed\xbf\xbf\xf4\x90\x80\x80\xf5\x80\x80\x80", Ps(14)},
        {"cut short at the end: one placeholder for what was begun", "ab\xf0\x9f\x98", "ab" + P},
        {"cut short before a character", "\xe2\x80Z\xe2", P + "Z" + P},
        {"continuations without a lead, bytes that never occur", "\x80\xbf\xfe\xff", Ps(4)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanText(c.in), c.expected) << c.what;
        EXPECT_EQ(Joined(SplitGlyphs(c.in)), c.expected) << c.what;
    }
}

// Random bytes, weighted towards those that begin sequences, controls and
// the edges of the valid ranges: the glyphs make up the cleaned text, one
// character each, and cleaning again changes nothing. (That cleaned text is
// safe for a terminal, the fuzz target shows on any input.)
TEST(CleanText, RandomBytesSplitIntoGlyphsThatCleaningLeavesAlone) {
    std::mt19937 random(20261207);
    const unsigned char edges[] = {0x00, 0x07, 0x1b, 0x7f, 0x80, 0x9b, 0x9f, 0xa0, 0xbf,
                                   0xc0, 0xc1, 0xc2, 0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4,
                                   0xf5, 0xff, '[',  ']',  'a',  0x8f, 0x90};
    for (int round = 0; round < 20000; ++round) {
        std::string in;
        for (std::size_t n = random() % 24; in.size() < n;) {
            in += static_cast<char>(random() % 2 ? edges[random() % std::size(edges)] : random());
        }
        const std::string out = CleanText(in);
        const std::vector<std::string> glyphs = SplitGlyphs(in);
        ASSERT_EQ(Joined(glyphs), out) << testing::PrintToString(in);
        for (const std::string& g : glyphs) {
            ASSERT_TRUE(CleanText(g) == g && SplitGlyphs(g).size() == 1u)
                << testing::PrintToString(in) << " gave glyph " << testing::PrintToString(g);
        }
        ASSERT_EQ(CleanText(out), out) << testing::PrintToString(in);
    }
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

    const auto submitted = [&](const char* name) {
        SavePrompt prompt(call, dir.string());
        prompt.SetName(name);
        prompt.Submit();
        return prompt;
    };
    EXPECT_EQ(submitted("no-such-folder/dump.txt").GetState(), SavePrompt::State::kEditing);
    const SavePrompt typed = submitted("dump");
    ASSERT_EQ(typed.GetState(), SavePrompt::State::kConfirmed);
    EXPECT_EQ(fs::path(typed.Path()), dir / "dump.txt");
    for (const char answer : {'n', 'y'}) {
        SavePrompt existing = submitted("old.txt");
        ASSERT_EQ(existing.GetState(), SavePrompt::State::kConfirmOverwrite);
        existing.OnKey(Key{KeyKind::kChar, static_cast<unsigned char>(answer)});
        EXPECT_EQ(existing.GetState() == SavePrompt::State::kConfirmed, answer == 'y') << answer;
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

StickSample At(int step, std::uint16_t x, std::uint16_t y, std::uint64_t presses = 0) {
    return {.found = true, .linkOpen = true, .x = x, .y = y, .step = step, .spacePresses = presses};
}

// Space pressed with the stick held still at x, y.
std::vector<StickSample> Pressed(int step, std::uint16_t x, std::uint16_t y) {
    return {At(step, x, y), At(step, x, y, 1)};
}

TEST(StatusLine, SaysWhatTheStickIsAndWhatSpaceDid) {
    const StickSample none{};
    const StickSample closed{.found = true, .linkOpen = false, .step = 6};
    const StickSample searched{.spacePresses = 1};
    StickSample lost = At(3, 0x9F00, 0x8000);
    lost.linkLost = true;
    StickSample lostPressed = lost;
    lostPressed.spacePresses = 1;
    const struct {
        const char* name;
        std::vector<StickSample> samples;
        const char* text;
    } cases[] = {
        // clang-format off
        {"no stick", {none}, "no stick found: Space looks again"},
        {"searched, none", {none, searched}, "no stick found: Space looks again"},
        {"live axes", {At(1, 0x8000, 0x7F80)}, "stick X 8000  Y 7F80"},
        {"found, link closed", {closed}, "stick found, not open"},
        {"centre missed", Pressed(1, 0x9000, 0x8000),
         "stick X 9000  Y 8000   step 1: not centred: X 9000, Y 8000, needs 7C00 to 8400 for both"},
        {"up missed", Pressed(2, 0x8000, 0x5000),
         "stick X 8000  Y 5000   step 2: not far enough up: Y 5000, needs 4000 or less"},
        {"right missed", Pressed(3, 0x9F00, 0x8000),
         "stick X 9F00  Y 8000   step 3: not far enough right: X 9F00, needs C000 or more"},
        {"down missed", Pressed(4, 0x8000, 0xBFFF),
         "stick X 8000  Y BFFF   step 4: not far enough down: Y BFFF, needs C000 or more"},
        {"left missed", Pressed(5, 0x4001, 0x8000),
         "stick X 4001  Y 8000   step 5: not far enough left: X 4001, needs 4000 or less"},
        // The outcome stays until the next press; two presses between
        // samples report the last.
        {"right missed, stick moved",
         {At(3, 0x9F00, 0x8000), At(3, 0x9F00, 0x8000, 1), At(3, 0xA000, 0x8000, 1)},
         "stick X A000  Y 8000   step 3: not far enough right: X 9F00, needs C000 or more"},
        {"right passed", {At(3, 0xFF00, 0x8000), At(4, 0xFF00, 0x8000, 1)},
         "stick X FF00  Y 8000   step 3: passed at X FF00, Y 8000"},
        // A press that came and went between two samples shows by its step.
        {"passed unseen", {At(2, 0x8000, 0x0080), At(3, 0x8000, 0x0080)},
         "stick X 8000  Y 0080   step 2: passed at X 8000, Y 0080"},
        // The poll saw the written stick go; nothing has looked since, so a
        // stick plugged in meanwhile is not known.
        {"unplugged after the write", {closed, none},
         "stick unplugged, not looked for since: Space looks again"},
        {"unplugged, then searched", {closed, none, searched}, "no stick found: Space looks again"},
        {"unplugged, then found", {closed, none, At(1, 0x8000, 0x8000, 1)}, "stick X 8000  Y 8000"},
        // Lost under an open link: the step goes on with the last values
        // however the stick is plugged in again.
        {"lost in a step", {At(3, 0x9F00, 0x8000), lost},
         "stick lost, steps judge its last X 9F00  Y 8000: close and start again"},
        {"lost, Space judged", {lost, lostPressed},
         "stick lost, steps judge its last X 9F00  Y 8000: close and start again"
         "   step 3: not far enough right: X 9F00, needs C000 or more"},
        {"next stick",
         {At(5, 0x0000, 0x8000), At(6, 0x0000, 0x8000, 1), closed, At(1, 0x8000, 0x8000)},
         "stick X 8000  Y 8000"},
        // Space with no stick (a search) and in step 6 judges nothing.
        {"step 6", Pressed(6, 0x8000, 0x8000), "stick X 8000  Y 8000"},
        // clang-format on
    };
    for (const auto& c : cases) {
        StatusLine line;
        for (const StickSample& s : c.samples) line.Update(s);
        EXPECT_EQ(line.Text(), c.text) << c.name;
    }
}

TEST(StatusLine, StepFromTheVisibleStepTexts) {
    EXPECT_EQ(StepOfVisibleTexts({IDC_STEP_PLUG, IDC_PIC_1}), 1);
    EXPECT_EQ(StepOfVisibleTexts({IDC_STEP_PLUG, IDC_STEP_UP, IDC_STEP_RIGHT}), 3);
    EXPECT_EQ(StepOfVisibleTexts(
                  {IDC_STEP_UP, IDC_STEP_RIGHT, IDC_STEP_DOWN, IDC_STEP_LEFT, IDC_STEP_UNPLUG}),
              6);
}

}  // namespace
}  // namespace term
