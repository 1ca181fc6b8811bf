// The terminal front-end's pieces on their own: key decoding, the held-key
// rule, text cleaning, the save prompt, the script and command-line parsers,
// the picture decoder and the composed screen.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win_defs.h"
#include "term/boxes.h"
#include "term/canvas.h"
#include "term/dialog_view.h"
#include "term/keys.h"
#include "term/options.h"
#include "term/picture.h"
#include "term/script.h"
#include "term/script_runner.h"
#include "ui/resource.h"

namespace term {
namespace {

std::string Describe(const std::vector<Key>& keys) {
    static const char* kNames[] = {"char", "space", "enter", "esc",  "tab",   "bs",
                                   "del",  "up",    "down",  "left", "right", "home",
                                   "end",  "^C",    "^L",    "^Z",   "other"};
    std::string out;
    for (const Key& k : keys) {
        if (!out.empty()) out += ' ';
        out += kNames[static_cast<int>(k.kind)];
        if (k.kind == KeyKind::kChar) out += std::string(":") + static_cast<char>(k.ch);
    }
    return out;
}

std::string DecodeAll(const std::vector<std::string>& chunks, bool flush) {
    KeyDecoder d;
    std::vector<Key> keys;
    for (const std::string& c : chunks) {
        d.Feed(reinterpret_cast<const unsigned char*>(c.data()), c.size(), &keys);
    }
    if (flush) d.Flush(&keys);
    return Describe(keys);
}

TEST(KeyDecoder, TurnsBytesIntoKeys) {
    struct Case {
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
        {{"\x1b[" + std::string(40, '1')},
         false,
         "other char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1 char:1"},
        {{"\x1b[\x01x"}, false, "other other char:x"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& s : c.chunks) shown += s;
        EXPECT_EQ(DecodeAll(c.chunks, c.flush), c.expected)
            << "input of " << shown.size() << " bytes";
    }
}

TEST(KeyDecoder, VirtualKeysAsAKeyboardReportsThem) {
    struct Case {
        Key key;
        unsigned vk;
    } cases[] = {
        {{KeyKind::kSpace, 0}, VK_SPACE},   {{KeyKind::kEnter, 0}, VK_RETURN},
        {{KeyKind::kEscape, 0}, VK_ESCAPE}, {{KeyKind::kTab, 0}, VK_TAB},
        {{KeyKind::kChar, 'a'}, 'A'},       {{KeyKind::kChar, 'Z'}, 'Z'},
        {{KeyKind::kChar, '7'}, '7'},       {{KeyKind::kChar, '&'}, '7'},
        {{KeyKind::kChar, '.'}, 0xBE},      {{KeyKind::kLeft, 0}, VK_LEFT},
        {{KeyKind::kCtrlC, 0}, 0u},         {{KeyKind::kChar, 0xC3}, 0u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VirtualKeyOf(c.key), c.vk)
            << "kind " << static_cast<int>(c.key.kind) << " ch " << static_cast<int>(c.key.ch);
    }
}

std::string Hold(HeldKeys& held, const std::vector<std::pair<char, std::uint64_t>>& events) {
    // 'p' = a press of Space at t, 'x' = a press of X, 't' = time passes to t.
    std::string out;
    for (const auto& [what, t] : events) {
        std::vector<KeyTransition> tr;
        if (what == 'p') held.Press(VK_SPACE, t, &tr);
        if (what == 'x') held.Press('X', t, &tr);
        if (what == 't') held.Tick(t, &tr);
        for (const KeyTransition& k : tr) {
            out += (k.vk == VK_SPACE ? "S" : "X");
            out += k.down ? "v" : "^";
            out += "@" + std::to_string(t) + " ";
        }
    }
    return out;
}

TEST(HeldKeys, StandsInForTheKeyUpsATerminalNeverReports) {
    struct Case {
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
    for (const Case& c : cases) {
        HeldKeys held(600, 250);
        EXPECT_EQ(Hold(held, c.events), c.expected) << c.what;
    }
    HeldKeys held(600, 250);
    EXPECT_EQ(held.MsUntilRelease(0), -1);
    std::vector<KeyTransition> tr;
    held.Press(VK_SPACE, 1000, &tr);
    EXPECT_EQ(held.MsUntilRelease(1000), 601);
    EXPECT_EQ(held.MsUntilRelease(2000), 0);
}

TEST(Canvas, CleansTextSoNothingReachesTheTerminalAsAControl) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "plain"},
        {"“SPACE”", "“SPACE”"},
        {"a\x1b[2Jb", "a?[2Jb"},
        {"\x07\x7f", "??"},
        {"\xc2\x9b"
         "31m",
         "??31m"},           // C1 CSI
        {"\xe2\x80", "??"},  // cut short
        {"\xff\xfe", "??"},
        {"\xc3\xa9", "é"},
    };
    for (const Case& c : cases) {
        Canvas canvas(10, 1, Rgb{}, Rgb{});
        canvas.Text(0, 0, c.in, Rgb{}, Rgb{});
        std::string text = canvas.ToText();
        text.erase(text.find_last_not_of(' ') + 1);
        EXPECT_EQ(text, c.out) << "input " << c.in.size() << " bytes";
        EXPECT_EQ(canvas.ToAnsi().find('\x07'), std::string::npos);
    }
}

class SavePromptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder =
            std::filesystem::temp_directory_path() /
            ("kx9-prompt-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "sub");
        call.defaultExt = "*.txt";
        call.fileName = "Kx9_Joystick_FW.txt";
        call.flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        call.filter = "Text files (*.txt)|*.txt||";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    static void Type(SavePrompt& p, const std::string& text) {
        for (char c : text)
            p.OnKey(
                Key{c == ' ' ? KeyKind::kSpace : KeyKind::kChar, static_cast<unsigned char>(c)});
    }
    static void Press(SavePrompt& p, KeyKind k) { p.OnKey(Key{k, 0}); }

    std::filesystem::path folder;
    plat::vws::FileDialogCall call;
};

TEST_F(SavePromptTest, ProposesTheDefaultNameAndConfirmsIt) {
    SavePrompt p(call, folder.string());
    EXPECT_EQ(p.Name(), "Kx9_Joystick_FW.txt");
    Press(p, KeyKind::kEnter);
    EXPECT_EQ(p.GetState(), SavePrompt::State::kConfirmed);
    EXPECT_EQ(p.Path(), (folder / "Kx9_Joystick_FW.txt").string());
}

TEST_F(SavePromptTest, NamesWithoutExtensionGetTheDefaultOne) {
    SavePrompt p(call, folder.string());
    for (int i = 0; i < 19; ++i) Press(p, KeyKind::kBackspace);
    Type(p, "sub/dump");
    Press(p, KeyKind::kEnter);
    EXPECT_EQ(p.GetState(), SavePrompt::State::kConfirmed);
    EXPECT_EQ(p.Path(), (folder / "sub" / "dump.txt").string());
}

TEST_F(SavePromptTest, RefusesAFolderThatDoesNotExistAndKeepsEditing) {
    SavePrompt p(call, folder.string());
    p.SetName("missing/dump.txt");
    Press(p, KeyKind::kEnter);
    EXPECT_EQ(p.GetState(), SavePrompt::State::kEditing);
    EXPECT_NE(p.Message().find("does not exist"), std::string::npos) << p.Message();
    p.SetName("sub");  // a folder is no file name
    Press(p, KeyKind::kEnter);
    EXPECT_EQ(p.GetState(), SavePrompt::State::kEditing);
    EXPECT_NE(p.Message().find("is a folder"), std::string::npos) << p.Message();
}

TEST_F(SavePromptTest, AsksBeforeReplacingAndOnlyYesReplaces) {
    std::ofstream(folder / "Kx9_Joystick_FW.txt") << "keep";
    SavePrompt p(call, folder.string());
    Press(p, KeyKind::kEnter);
    ASSERT_EQ(p.GetState(), SavePrompt::State::kConfirmOverwrite);
    Press(p, KeyKind::kEnter);  // Enter is not a yes
    EXPECT_EQ(p.GetState(), SavePrompt::State::kEditing);
    Press(p, KeyKind::kEnter);
    p.OnKey(Key{KeyKind::kChar, 'n'});
    EXPECT_EQ(p.GetState(), SavePrompt::State::kEditing);
    Press(p, KeyKind::kEnter);
    p.OnKey(Key{KeyKind::kChar, 'y'});
    EXPECT_EQ(p.GetState(), SavePrompt::State::kConfirmed);
}

TEST_F(SavePromptTest, EscapeCancels) {
    SavePrompt p(call, folder.string());
    Press(p, KeyKind::kEscape);
    EXPECT_EQ(p.GetState(), SavePrompt::State::kCancelled);
    EXPECT_TRUE(p.Path().empty());
}

TEST(FileDialogSettings, FilterAndExtensionAsTheDialogShowsThem) {
    const std::vector<FileFilter> f = ParseFileFilter("Text files (*.txt)|*.txt||");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].name, "Text files (*.txt)");
    EXPECT_EQ(f[0].pattern, "*.txt");
    EXPECT_EQ(DefaultExtension("*.txt"), "txt");
    EXPECT_EQ(DefaultExtension(".txt"), "txt");
    EXPECT_EQ(DefaultExtension("txt"), "txt");
    EXPECT_EQ(DefaultExtension("*.*"), "");
    EXPECT_EQ(MessageBoxTypeName(MB_OK), "MB_OK");
    EXPECT_EQ(MessageBoxTypeName(MB_ICONHAND), "MB_ICONHAND");
    EXPECT_EQ(MessageBoxTypeName(MB_ICONINFORMATION), "MB_ICONINFORMATION");
    EXPECT_EQ(MessageBoxTypeName(1 | MB_ICONHAND), "MB_OKCANCEL|MB_ICONHAND");
}

std::string ParseOne(const std::string& text, ScriptError* error = nullptr) {
    std::istringstream in(text);
    std::vector<ScriptCommand> commands;
    ScriptError e;
    if (!ParseScript(in, &commands, &e)) {
        if (error != nullptr) *error = e;
        return "error";
    }
    std::string out;
    for (const ScriptCommand& c : commands) {
        if (!out.empty()) out += ';';
        switch (c.op) {
            case ScriptOp::kKey:
                out += "key " + std::to_string(c.vk);
                break;
            case ScriptOp::kKeyDown:
                out += "down " + std::to_string(c.vk);
                break;
            case ScriptOp::kKeyUp:
                out += "up " + std::to_string(c.vk);
                break;
            case ScriptOp::kStick:
                out += "stick " + std::to_string(c.x) + " " + std::to_string(c.y);
                break;
            case ScriptOp::kUnplug:
                out += "unplug";
                break;
            case ScriptOp::kPlug:
                out += "plug";
                break;
            case ScriptOp::kWait:
                out += "wait " + std::to_string(c.ms);
                break;
            case ScriptOp::kClick:
                out += "click " + std::to_string(c.id);
                break;
            case ScriptOp::kSave:
                out += "save [" + c.path + "]";
                break;
            case ScriptOp::kCancel:
                out += "cancel";
                break;
            case ScriptOp::kClose:
                out += "close";
                break;
            case ScriptOp::kShow:
                out += "show";
                break;
        }
        out += "@" + std::to_string(c.line);
    }
    return out;
}

TEST(ScriptParser, ReadsEveryCommand) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"key space\nkeydown a\nkeyup 7\nkey ENTER\nkey escape\nkey tab",
         "key 32@1;down 65@2;up 55@3;key 13@4;key 27@5;key 9@6"},
        {"stick 0x8000 32640\nstick 0 0xFFFF", "stick 32768 32640@1;stick 0 65535@2"},
        {"\n# a comment\n   \n  # indented\nshow\r\n", "show@5"},
        {"unplug\nplug\nwait 600\nclick 1006\ncancel\nclose",
         "unplug@1;plug@2;wait 600@3;click 1006@4;cancel@5;close@6"},
        {"save  my dumps/out file.txt  ", "save [my dumps/out file.txt]@1"},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseOne(c.text), c.expected) << c.text;
}

TEST(ScriptParser, RejectsBadLinesWithTheirNumber) {
    struct Case {
        std::string text;
        int line;
        std::string says;
    } cases[] = {
        {"show\njump 3\n", 2, "unknown command \"jump\""},
        {"key\n", 1, "key needs one key"},
        {"key space bar\n", 1, "key needs one key"},
        {"key f1\n", 1, "key needs one key"},
        {"\n\nstick 0x10000 0\n", 3, "stick needs X and Y"},
        {"stick 1\n", 1, "stick needs X and Y"},
        {"stick -1 5\n", 1, "stick needs X and Y"},
        {"stick 0x 5\n", 1, "stick needs X and Y"},
        {"wait 99999999999999999999\n", 1, "wait needs milliseconds"},
        {"click 1006 1\n", 1, "click needs a control id"},
        {"save\n", 1, "save needs a path"},
        {"close now\n", 1, "close takes no arguments"},
        {"Show\n", 1, "unknown command"},
        {"\x1b[2J\n", 1, "unknown command \"?[2J\""},
    };
    for (const Case& c : cases) {
        ScriptError e;
        EXPECT_EQ(ParseOne(c.text, &e), "error") << c.text;
        EXPECT_EQ(e.line, c.line) << c.text;
        EXPECT_NE(e.message.find(c.says), std::string::npos) << c.text << " gave: " << e.message;
    }
}

TEST(Options, CommandLines) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::string says;  // part of the error
    } cases[] = {
        {{}, true, ""},
        {{"--simulate", "--sim-eeprom", "e.bin", "--sim-input-length", "12"}, true, ""},
        {{"--simulate", "--sim-output-length=0x16", "--script", "-"}, true, ""},
        {{"--sim-eeprom", "e.bin"}, false, "need --simulate"},
        {{"--simulate", "--sim-input-length", "0"}, false, "1 to 65535"},
        {{"--simulate", "--sim-input-length", "65536"}, false, "1 to 65535"},
        {{"--simulate", "--sim-output-length"}, false, "needs a value"},
        {{"--script"}, false, "needs a value"},
        {{"--list", "--simulate"}, false, "stands alone"},
        {{"--frobnicate"}, false, "unknown option"},
        {{"--help", "--frobnicate"}, false, "unknown option"},
    };
    for (const Case& c : cases) {
        Options o;
        std::string error;
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        EXPECT_EQ(ParseOptions(c.args, &o, &error), c.ok) << joined << "-> " << error;
        if (!c.ok) {
            EXPECT_NE(error.find(c.says), std::string::npos) << joined << "-> " << error;
        }
    }
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--simulate", "--sim-output-length=0x16"}, &o, &error));
    EXPECT_EQ(o.simOutputLength, 0x16);
    EXPECT_EQ(o.simInputLength, kDefaultSimInputLength);
}

TEST(Pictures, EveryStepPictureDecodesAtItsSize) {
    struct Case {
        unsigned id;
        int width;
        int height;
    } cases[] = {{IDB_STEP_1, 175, 204},
                 {IDB_STEP_2, 175, 218},
                 {IDB_STEP_3, 181, 204},
                 {IDB_STEP_4, 175, 204},
                 {IDB_STEP_5, 196, 204}};
    for (const Case& c : cases) {
        Image image;
        ASSERT_TRUE(DecodeBmp(plat::FindBitmapResource(c.id), &image)) << c.id;
        EXPECT_EQ(image.width, c.width) << c.id;
        EXPECT_EQ(image.height, c.height) << c.id;
        // The background is white; the corner lies outside the plate.
        const Rgb corner = image.At(0, 0);
        EXPECT_TRUE(corner.r == 255 && corner.g == 255 && corner.b == 255) << c.id;
    }
}

TEST(Pictures, ShortOrBrokenFilesAreRefusedNotRead) {
    const plat::ResourceBytes real = plat::FindBitmapResource(IDB_STEP_1);
    ASSERT_NE(real.data, nullptr);
    std::vector<std::uint8_t> bytes(real.data, real.data + real.size);
    Image image;
    // Every length short of the whole file.
    for (std::size_t n = 0; n < bytes.size(); n += 97) {
        EXPECT_FALSE(DecodeBmp(plat::ResourceBytes{bytes.data(), n}, &image)) << n;
    }
    auto patched = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> b = bytes;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return b;
    };
    for (const auto& bad : {patched(18, 0x7FFFFFFF), patched(22, 0x80000000u),
                            patched(10, 0xFFFFFFF0u), patched(28, 8), patched(30, 1)}) {
        EXPECT_FALSE(DecodeBmp(plat::ResourceBytes{bad.data(), bad.size()}, &image));
    }
}

TEST(Pictures, ScalingAveragesWhatItShrinks) {
    Image checker;
    checker.width = 2;
    checker.height = 2;
    checker.pixels = {Rgb{0, 0, 0}, Rgb{255, 255, 255}, Rgb{255, 255, 255}, Rgb{0, 0, 0}};
    PixelCanvas one(1, 1, Rgb{1, 2, 3});
    one.Draw(checker, 0, 0, 1, 1);
    EXPECT_EQ(one.Pixels().At(0, 0).r, 128);
    PixelCanvas clipped(2, 2, Rgb{1, 2, 3});
    clipped.Draw(checker, 1, 1, 4, 4);  // mostly outside: no crash, corner drawn
    EXPECT_EQ(clipped.Pixels().At(0, 0).r, 1);
    EXPECT_EQ(clipped.Pixels().At(1, 1).r, 0);
}

ScreenModel StepModel(std::vector<int> visible) {
    ScreenModel m;
    m.title = "Title Of Dialog";
    m.dialogShown = true;
    struct Text {
        int id;
        const char* text;
        int top;
    } texts[] = {{IDC_STEP_PLUG, "1.    Plug\n        Then press", 22},
                 {IDC_STEP_UP, "2.    Up\n        Then press", 60},
                 {IDC_STEP_UNPLUG, "6.    Unplug USB of Joystick.", 196}};
    for (const Text& t : texts) {
        plat::vws::ControlInfo c;
        c.id = t.id;
        c.text = t.text;
        c.rect = plat::Rect{25, t.top, 340, t.top + 26};
        for (int v : visible) c.visible = c.visible || v == t.id;
        m.controls.push_back(c);
    }
    plat::vws::ControlInfo pic;
    pic.id = IDC_PIC_1;
    pic.kind = plat::ControlKind::kStaticBitmap;
    pic.image = IDB_STEP_1;
    pic.rect = plat::Rect{95, 230, 270, 434};
    for (int v : visible) pic.visible = pic.visible || v == IDC_PIC_1;
    m.controls.push_back(pic);
    return m;
}

TEST(DialogView, ShowsTheVisibleTextsAndPictureOnly) {
    DialogView view;
    const std::string step1 = view.Compose(StepModel({IDC_STEP_PLUG, IDC_PIC_1}), 100, 30).ToText();
    EXPECT_NE(step1.find("Title Of Dialog"), std::string::npos);
    EXPECT_NE(step1.find("1.    Plug"), std::string::npos);
    EXPECT_EQ(step1.find("2.    Up"), std::string::npos);
    EXPECT_NE(step1.find("▀"), std::string::npos) << "picture 1 is drawn";

    const std::string step6 =
        view.Compose(StepModel({IDC_STEP_PLUG, IDC_STEP_UP, IDC_STEP_UNPLUG}), 100, 30).ToText();
    EXPECT_NE(step6.find("6.    Unplug USB of Joystick."), std::string::npos);
    EXPECT_EQ(step6.find("▀"), std::string::npos) << "no picture in step 6";

    // Tiny screens lose detail, never memory safety.
    for (int cols : {1, 20, 33}) {
        for (int rows : {1, 6, 9}) view.Compose(StepModel({IDC_PIC_1}), cols, rows);
    }
}

TEST(DialogView, MessageBoxShowsCaptionIconWordTextAndOk) {
    DialogView view;
    ScreenModel m = StepModel({IDC_STEP_PLUG});
    m.box = BoxView{"Caption Here", "Cannot read EEPROM!", MB_ICONHAND, 0};
    const std::string screen = view.Compose(m, 80, 24).ToText();
    for (const char* part :
         {"Caption Here", "Stop", "Cannot read EEPROM!", "[  OK  ]", "Enter: OK"}) {
        EXPECT_NE(screen.find(part), std::string::npos) << part << "\n" << screen;
    }
}

TEST(ScriptTranscript, BoxesAndVisibleControlsAsPrinted) {
    plat::vws::MessageBoxCall call;
    call.caption = "Debug";
    call.text = "READ DATA\n00 01 \n10 11 ";
    call.type = MB_OK;
    EXPECT_EQ(FormatBoxTranscript(call), "[box] Debug (MB_OK)\nREAD DATA\n00 01 \n10 11 \n[end]\n");
    call.text = "ends in a break\n";
    EXPECT_EQ(FormatBoxTranscript(call), "[box] Debug (MB_OK)\nends in a break\n[end]\n");
    EXPECT_EQ(VisibleLine({IDC_PIC_1, IDC_READ_EEPROM, IDC_STEP_PLUG}),
              "visible: IDC_STEP_PLUG IDC_PIC_1");
    EXPECT_EQ(VisibleLine({}), "visible:");
}

}  // namespace
}  // namespace term
