// The main dialog is described twice: by the resource script the Windows
// program is built from, and as data for the virtual window system. These
// tests read the script as the resource compiler would and hold the two
// descriptions to each other, field by field, so neither drifts alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/dialog_template.h"
#include "tests/win32_dialog/rc_script.h"
#include "ui/resource.h"

namespace {

std::string SourceDir() {
    const char* dir = std::getenv("KX9_SOURCE_DIR");
    return dir != nullptr ? dir : "";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Bytes shown with their escapes, so a difference of one space or quote
// mark is visible in the failure message.
std::string Shown(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

class ResourceScript : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(SourceDir().empty()) << "KX9_SOURCE_DIR is not set";
        const auto defines = rcscript::ReadDefines(ReadFile(SourceDir() + "/ui/resource.h"));
        script =
            rcscript::Parse(ReadFile(SourceDir() + "/ui/res/Kx9JoystickCalibration.rc"), defines);
        data = plat::FindDialogTemplate(IDD_MAIN);
        ASSERT_NE(data, nullptr);
        for (const rcscript::Dialog& d : script.dialogs) {
            if (d.id == IDD_MAIN) rc = &d;
        }
        ASSERT_NE(rc, nullptr) << "the script has no dialog " << IDD_MAIN;
    }

    const rcscript::FileResource* File(const std::string& type, long id) const {
        for (const rcscript::FileResource& f : script.files) {
            if (f.type == type && f.id == id) return &f;
        }
        return nullptr;
    }

    rcscript::Script script;
    const rcscript::Dialog* rc = nullptr;
    const plat::DialogTemplate* data = nullptr;
};

TEST_F(ResourceScript, DialogFrameMatchesTheTemplateData) {
    EXPECT_EQ(rc->x, data->x);
    EXPECT_EQ(rc->y, data->y);
    EXPECT_EQ(rc->cx, data->cx);
    EXPECT_EQ(rc->cy, data->cy);
    EXPECT_EQ(rc->style, data->style)
        << std::hex << "script 0x" << rc->style << " data 0x" << data->style;
    EXPECT_EQ(rc->exStyle, data->exStyle);
    EXPECT_EQ(rc->caption, data->caption);
    EXPECT_EQ(rc->fontFace, data->fontFace);
    EXPECT_EQ(rc->pointSize, data->pointSize);
    EXPECT_EQ(rc->weight, data->weight);
    EXPECT_EQ(rc->italic != 0, data->italic);
    EXPECT_EQ(rc->charset, data->charset);
    EXPECT_EQ(script.language, "LANG_ENGLISH, SUBLANG_ENGLISH_US");
    // The texts' quotation marks are UTF-8 in the script: the compiler must
    // be told so.
    EXPECT_NE(std::find(script.pragmas.begin(), script.pragmas.end(), "code_page(65001)"),
              script.pragmas.end());
}

TEST_F(ResourceScript, ControlsMatchTheTemplateDataInOrder) {
    ASSERT_EQ(rc->controls.size(), data->controlCount);
    for (std::size_t i = 0; i < data->controlCount; ++i) {
        const rcscript::Control& s = rc->controls[i];
        const plat::ControlTemplate& d = data->controls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " id " + std::to_string(d.id));
        EXPECT_EQ(s.id, d.id);
        EXPECT_EQ(s.style, d.style) << std::hex << "script 0x" << s.style << " data 0x" << d.style;
        EXPECT_EQ(s.exStyle, 0u);
        EXPECT_EQ(s.x, d.x);
        EXPECT_EQ(s.y, d.y);
        EXPECT_EQ(s.cx, d.cx);
        EXPECT_EQ(s.cy, d.cy);
        switch (d.kind) {
            case plat::ControlKind::kStaticText:
                EXPECT_EQ(s.statement, "LTEXT");
                EXPECT_EQ(Shown(s.text), Shown(d.text));
                break;
            case plat::ControlKind::kPushButton:
                EXPECT_EQ(s.statement, "PUSHBUTTON");
                EXPECT_EQ(Shown(s.text), Shown(d.text));
                break;
            case plat::ControlKind::kStaticBitmap:
                EXPECT_EQ(s.statement, "CONTROL");
                EXPECT_EQ(s.className, "Static");
                ASSERT_TRUE(s.textId.has_value()) << "a picture names its bitmap by number";
                EXPECT_EQ(*s.textId, static_cast<long>(d.image));
                break;
        }
    }
}

TEST_F(ResourceScript, PicturesAndIconAreTheOnesTheVirtualSystemEmbeds) {
    const std::string res = SourceDir() + "/ui/res/";
    for (unsigned id = IDB_STEP_1; id <= IDB_STEP_5; ++id) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        const rcscript::FileResource* f = File("BITMAP", id);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->file, "step" + std::to_string(id - IDB_STEP_1 + 1) + ".bmp");
        const plat::ResourceBytes bytes = plat::FindBitmapResource(id);
        ASSERT_NE(bytes.data, nullptr);
        EXPECT_TRUE(ReadFile(res + f->file) ==
                    std::string(reinterpret_cast<const char*>(bytes.data), bytes.size));
    }
    const rcscript::FileResource* icon = File("ICON", IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    const plat::ResourceBytes bytes = plat::FindIconResource(IDR_MAINFRAME);
    ASSERT_NE(bytes.data, nullptr);
    EXPECT_TRUE(ReadFile(res + icon->file) ==
                std::string(reinterpret_cast<const char*>(bytes.data), bytes.size));

    // The manifest (type 24, resource 1) declares no dependency, so the
    // controls keep the classic look.
    const rcscript::FileResource* manifest = File("24", 1);
    ASSERT_NE(manifest, nullptr);
    const std::string xml = ReadFile(res + manifest->file);
    EXPECT_NE(xml.find("<assembly"), std::string::npos);
    EXPECT_EQ(xml.find("dependency"), std::string::npos);
}

TEST(ResourceScriptReader, ReadsWhatTheCompilerWould) {
    const std::map<std::string, long> defines = {{"IDD_X", 7}, {"IDC_A", 1000}, {"IDB_B", 129}};
    const rcscript::Script s = rcscript::Parse(R"(
#pragma code_page(65001)
/* a block
   comment */
IDD_X DIALOGEX 1, 2, 30, 40
STYLE WS_POPUP | WS_SYSMENU
CAPTION "Say ""hi"""
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "a\nb\\c",IDC_A,1,2,3,4 // trailing comment
    LTEXT "x",1001,1,2,3,4,NOT WS_GROUP | WS_TABSTOP
    PUSHBUTTON "p",1002,1,2,3,4,NOT WS_VISIBLE
    CONTROL IDB_B,1003,"Static",SS_BITMAP | NOT WS_VISIBLE,5,6,7,8
END
)",
                                               defines);
    ASSERT_EQ(s.dialogs.size(), 1u);
    const rcscript::Dialog& d = s.dialogs[0];
    EXPECT_EQ(d.id, 7);
    EXPECT_EQ(d.caption, "Say \"hi\"");
    // CAPTION adds the caption bar, FONT the font flag.
    EXPECT_EQ(d.style, 0x80000000u | 0x00080000u | 0x00C00000u | 0x40u);
    ASSERT_EQ(d.controls.size(), 4u);
    struct Expect {
        std::string text;
        std::uint32_t style;
    };
    const Expect want[] = {
        {"a\nb\\c", 0x50020000u},
        {"x", 0x50010000u},
        {"p", 0x40010000u},
        {"", 0x4000000Eu},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(d.controls[i].text, want[i].text) << "control " << i;
        EXPECT_EQ(d.controls[i].style, want[i].style)
            << "control " << i << std::hex << " 0x" << d.controls[i].style;
    }
    EXPECT_EQ(d.controls[3].textId.value_or(0), 129);
    EXPECT_EQ(d.controls[3].x, 5);

    struct Bad {
        const char* script;
        const char* why;
    };
    const Bad bad[] = {
        {"7 DIALOGEX 0,0,1,1\nBEGIN\nLTEXT \"open,1,1,1,1,1\nEND\n", "unterminated string"},
        {"7 DIALOGEX 0,0,1,1\nBEGIN\nLTEXT \"a\",NOPE,1,1,1,1\nEND\n", "unknown name"},
        {"7 DIALOGEX 0,0,1,1\nBEGIN\nLISTBOX 1,1,1,1,1\nEND\n", "unsupported control"},
        {"7 DIALOGEX 0,0,1,1\nBEGIN\nLTEXT \"a\",1,1,1,1,1\n", "missing END"},
    };
    for (const Bad& b : bad) {
        try {
            rcscript::Parse(b.script, {});
            ADD_FAILURE() << "accepted: " << b.why;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(b.why), std::string::npos)
                << "got \"" << e.what() << "\", expected " << b.why;
        }
    }
}

}  // namespace
