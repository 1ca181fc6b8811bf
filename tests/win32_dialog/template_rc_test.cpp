// The main dialog is described twice: by the resource script the Windows
// program is built from, and as data for the virtual window system. This test
// reads the script's statements as the resource compiler does (default
// control styles included) and holds the two descriptions to each other,
// field by field, so neither can drift alone. A line of the dialog it does
// not understand fails the test rather than being skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "ui/resource.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A string literal's body as the compiler decodes it.
std::string Decode(const std::string& body) {
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '"' && i + 1 < body.size() && body[i + 1] == '"') {
            out += '"';
            ++i;
        } else if (body[i] == '\\' && i + 1 < body.size()) {
            const char e = body[++i];
            out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
            out += body[i];
        }
    }
    return out;
}

// Bytes with their escapes visible, so one space or quote mark shows.
std::string Shown(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c == '\n' ? std::string("\\n") : (c < 0x20 || c > 0x7E) ? hex : std::string(1, c);
    }
    return out;
}

struct RcControl {
    std::string statement, text, className;
    long image = 0, id = 0, x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t style = 0;
};

struct RcScript {
    std::map<std::string, long> names;         // resource.h and the system constants used
    std::vector<std::string> unread;           // dialog lines not understood
    std::map<std::string, std::string> files;  // "BITMAP 129" -> file name
    bool utf8 = false, usEnglish = false;
    long dialogId = 0, x = 0, y = 0, cx = 0, cy = 0, point = 0, weight = -1, italic = -1;
    long charset = -1;
    std::uint32_t style = 0, exStyle = 0;
    std::string caption, face;
    std::vector<RcControl> controls;

    long Value(const std::string& token) {
        if (std::isdigit(static_cast<unsigned char>(token[0]))) return std::stol(token, nullptr, 0);
        auto n = names.find(token);
        if (n == names.end()) unread.push_back("unknown name " + token);
        return n == names.end() ? 0 : n->second;
    }
    // "A | B | NOT C" applied to a start value.
    std::uint32_t Style(const std::string& expr, std::uint32_t value) {
        std::stringstream terms(expr);
        std::string term;
        while (std::getline(terms, term, '|')) {
            std::stringstream words(term);
            std::string first, second;
            words >> first >> second;
            if (first.empty()) {
                unread.push_back("empty style term in " + expr);
            } else if (first == "NOT") {
                value &= ~static_cast<std::uint32_t>(Value(second));
            } else {
                value |= static_cast<std::uint32_t>(Value(first));
            }
        }
        return value;
    }
};

RcScript ReadScript(const std::string& dir) {
    RcScript rc;
    rc.names = {{"WS_POPUP", 0x80000000L},     {"WS_CHILD", 0x40000000L},
                {"WS_VISIBLE", 0x10000000L},   {"WS_CAPTION", 0x00C00000L},
                {"WS_SYSMENU", 0x00080000L},   {"WS_GROUP", 0x00020000L},
                {"WS_TABSTOP", 0x00010000L},   {"DS_SETFONT", 0x40L},
                {"DS_MODALFRAME", 0x80L},      {"DS_FIXEDSYS", 0x08L},
                {"WS_EX_APPWINDOW", 0x40000L}, {"SS_LEFT", 0L},
                {"SS_BITMAP", 0x0EL},          {"BS_PUSHBUTTON", 0L},
                {"RT_MANIFEST", 24L},          {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1L}};
    std::istringstream header(ReadFile(dir + "/ui/resource.h"));
    const std::regex define(R"(#define\s+(\w+)\s+(\d+)\s*)");
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (std::regex_match(line, m, define)) rc.names[m[1]] = std::stol(m[2]);
    }

    const std::string q = R"(\"((?:[^\"]|\"\")*)\")";  // a string literal
    const std::regex file(R"((\w+)\s+(BITMAP|ICON|RT_MANIFEST)\s+)" + q);
    const std::regex dialog(R"((\w+)\s+DIALOGEX\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+))");
    const std::regex font(R"(FONT\s+(\d+),\s*)" + q + R"(,\s*(\w+),\s*(\w+),\s*(\w+))");
    const std::regex text(R"((LTEXT|PUSHBUTTON)\s+)" + q +
                          R"(,(\w+),(\d+),(\d+),(\d+),(\d+)(?:,(.+))?)");
    const std::regex control(R"(CONTROL\s+(\w+),(\w+),)" + q +
                             R"(,([^,]+),(\d+),(\d+),(\d+),(\d+))");
    std::istringstream script(ReadFile(dir + "/ui/res/Kx9JoystickCalibration.rc"));
    bool inDialog = false;
    for (std::string line; std::getline(script, line);) {
        line = std::regex_replace(line, std::regex(R"(^\s+|\s+$)"), "");
        std::smatch m;
        if (line.empty() || line.rfind("//", 0) == 0 || line.rfind("#include", 0) == 0) continue;
        if (line == "#pragma code_page(65001)") {
            rc.utf8 = true;
        } else if (line == "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US") {
            rc.usEnglish = true;
        } else if (std::regex_match(line, m, file)) {
            rc.files[std::string(m[2]) + " " + std::to_string(rc.Value(m[1]))] = Decode(m[3]);
        } else if (std::regex_match(line, m, dialog) && rc.Value(m[1]) == IDD_MAIN) {
            inDialog = true;
            rc.dialogId = rc.Value(m[1]);
            rc.x = std::stol(m[2]), rc.y = std::stol(m[3]);
            rc.cx = std::stol(m[4]), rc.cy = std::stol(m[5]);
        } else if (!inDialog) {
            rc.unread.push_back(line);
        } else if (line.rfind("STYLE ", 0) == 0) {
            rc.style = rc.Style(line.substr(6), 0);
        } else if (line.rfind("EXSTYLE ", 0) == 0) {
            rc.exStyle = rc.Style(line.substr(8), 0);
        } else if (std::regex_match(line, m, std::regex("CAPTION " + q))) {
            rc.caption = Decode(m[1]);
        } else if (std::regex_match(line, m, font)) {
            rc.point = std::stol(m[1]), rc.face = Decode(m[2]);
            rc.weight = rc.Value(m[3]), rc.italic = rc.Value(m[4]), rc.charset = rc.Value(m[5]);
        } else if (line == "BEGIN") {
        } else if (line == "END") {
            inDialog = false;
        } else if (std::regex_match(line, m, text)) {
            // The compiler's defaults: visible child; texts start a group,
            // push buttons are tab stops.
            const bool button = m[1] == "PUSHBUTTON";
            rc.controls.push_back({m[1], Decode(m[2]), "", 0, rc.Value(m[3]), std::stol(m[4]),
                                   std::stol(m[5]), std::stol(m[6]), std::stol(m[7]),
                                   rc.Style(m[8], 0x50000000u | (button ? 0x10000u : 0x20000u))});
        } else if (std::regex_match(line, m, control)) {
            rc.controls.push_back({"CONTROL", "", Decode(m[3]), rc.Value(m[1]), rc.Value(m[2]),
                                   std::stol(m[5]), std::stol(m[6]), std::stol(m[7]),
                                   std::stol(m[8]), rc.Style(m[4], 0x50000000u)});
        } else {
            rc.unread.push_back(line);
        }
    }
    // CAPTION and FONT add their style bits.
    if (!rc.caption.empty()) rc.style |= 0x00C00000u;
    if (!rc.face.empty()) rc.style |= 0x40u;
    return rc;
}

TEST(ResourceScript, MainDialogMatchesTheTemplateData) {
    const char* dir = std::getenv("KX9_SOURCE_DIR");
    ASSERT_NE(dir, nullptr) << "KX9_SOURCE_DIR is not set";
    RcScript rc = ReadScript(dir);
    const plat::DialogTemplate* data = plat::FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(rc.unread.empty()) << "not understood: " << rc.unread.front();
    EXPECT_TRUE(rc.utf8) << "the quotation marks need the UTF-8 code page";
    EXPECT_TRUE(rc.usEnglish);

    EXPECT_EQ(rc.dialogId, IDD_MAIN);
    EXPECT_EQ(std::vector<long>({rc.x, rc.y, rc.cx, rc.cy}),
              std::vector<long>({data->x, data->y, data->cx, data->cy}));
    EXPECT_EQ(rc.style, data->style) << std::hex << rc.style << " vs " << data->style;
    EXPECT_EQ(rc.exStyle, data->exStyle);
    EXPECT_EQ(rc.caption, data->caption);
    EXPECT_EQ(rc.face, data->fontFace);
    EXPECT_EQ(rc.point, data->pointSize);
    EXPECT_EQ(rc.weight, data->weight);
    EXPECT_EQ(rc.italic != 0, data->italic);
    EXPECT_EQ(rc.charset, data->charset);

    ASSERT_EQ(rc.controls.size(), data->controlCount);
    for (std::size_t i = 0; i < data->controlCount; ++i) {
        const RcControl& s = rc.controls[i];
        const plat::ControlTemplate& d = data->controls[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(d.id));
        EXPECT_EQ(s.id, d.id);
        EXPECT_EQ(s.style, d.style) << std::hex << s.style << " vs " << d.style;
        EXPECT_EQ(std::vector<long>({s.x, s.y, s.cx, s.cy}),
                  std::vector<long>({d.x, d.y, d.cx, d.cy}));
        EXPECT_EQ(Shown(s.text), Shown(d.text));
        const char* statement = d.kind == plat::ControlKind::kStaticText   ? "LTEXT"
                                : d.kind == plat::ControlKind::kPushButton ? "PUSHBUTTON"
                                                                           : "CONTROL";
        EXPECT_EQ(s.statement, statement);
        if (d.kind == plat::ControlKind::kStaticBitmap) {
            EXPECT_EQ(s.className, "Static");
            EXPECT_EQ(s.image, static_cast<long>(d.image));
        }
    }
}

TEST(ResourceScript, PicturesIconAndManifestAreTheSharedFiles) {
    const char* dir = std::getenv("KX9_SOURCE_DIR");
    ASSERT_NE(dir, nullptr) << "KX9_SOURCE_DIR is not set";
    RcScript rc = ReadScript(dir);
    const std::string res = std::string(dir) + "/ui/res/";
    auto same = [&](const std::string& key, plat::ResourceBytes bytes) {
        SCOPED_TRACE(key);
        ASSERT_EQ(rc.files.count(key), 1u);
        ASSERT_NE(bytes.data, nullptr);
        EXPECT_TRUE(ReadFile(res + rc.files[key]) ==
                    std::string(reinterpret_cast<const char*>(bytes.data), bytes.size))
            << rc.files[key] << " differs from what the virtual window system embeds";
    };
    for (unsigned id = IDB_STEP_1; id <= IDB_STEP_5; ++id) {
        same("BITMAP " + std::to_string(id), plat::FindBitmapResource(id));
        EXPECT_EQ(rc.files["BITMAP " + std::to_string(id)],
                  "step" + std::to_string(id - IDB_STEP_1 + 1) + ".bmp");
    }
    same("ICON " + std::to_string(IDR_MAINFRAME), plat::FindIconResource(IDR_MAINFRAME));
    // Resource 1 of the manifest type, declaring no dependency: the classic look.
    const std::string manifest = ReadFile(res + rc.files["RT_MANIFEST 1"]);
    EXPECT_NE(manifest.find("<assembly"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

}  // namespace
