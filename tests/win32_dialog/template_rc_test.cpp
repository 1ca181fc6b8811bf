// The main dialog is described twice: by the resource script the Windows
// program is built from, and as data for the virtual window system. This test
// reads the script's statements as the resource compiler does (default
// control styles included) and holds the two descriptions to each other,
// field by field, so neither can drift alone. A line of the script it does not
// understand fails the test rather than being skipped.
#include <gtest/gtest.h>

#include <cctype>
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

// A string literal as the compiler decodes it. The script needs only "" and
// \n; any other escape would stay as written and fail the comparison.
std::string Decode(const std::string& literal) {
    const std::string body = literal.substr(1, literal.size() - 2);
    return std::regex_replace(std::regex_replace(body, std::regex("\"\""), "\""),
                              std::regex(R"(\\n)"), "\n");
}

// One line for the dialog or a control, made alike from both descriptions,
// so that a failure shows the fields that differ.
std::string Describe(const std::string& statement, const std::vector<long>& numbers,
                     std::uint32_t style, const std::string& text) {
    std::ostringstream out;
    out << statement << " style " << std::hex << style << std::dec;
    for (long v : numbers) out << " " << v;
    out << " \"" << std::regex_replace(text, std::regex("\n"), "\\n") << "\"\n";
    return out.str();
}

struct RcScript {
    std::map<std::string, long> names;         // resource.h and the system constants used
    std::vector<std::string> unread;           // lines not understood
    std::map<std::string, std::string> files;  // "BITMAP 129" -> file name
    bool utf8 = false, usEnglish = false;
    std::vector<long> numbers;  // id, x, y, cx, cy, point size, weight, italic, charset
    std::uint32_t style = 0, exStyle = 0;
    std::string caption, face;
    std::string controls;  // described one a line
    // A number or a known name; anything else is noted as not understood.
    long Value(const std::string& token) {
        if (std::isdigit(static_cast<unsigned char>(token[0]))) return std::stol(token, nullptr, 0);
        auto n = names.find(token);
        if (n == names.end()) unread.push_back("unknown name '" + token + "'");
        return n == names.end() ? 0 : n->second;
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

    // A line's tokens: string literals, words and bars; commas only separate.
    const std::regex token(R"("(?:[^"]|"")*"|[^\s,|]+|\|)");
    std::istringstream script(ReadFile(dir + "/ui/res/Kx9JoystickCalibration.rc"));
    bool inDialog = false;
    int versionDepth = -1;  // Windows itself reads the version in the program's test
    for (std::string line; std::getline(script, line);) {
        line = std::regex_replace(line, std::regex(R"(^\s+|\s+$)"), "");
        // The names the shared version block takes belong to that block, which
        // is not read here either.
        if (line.empty() || line.rfind("//", 0) == 0 || line.rfind("#include", 0) == 0 ||
            line.rfind("#define KX9_FILE_", 0) == 0) {
            continue;
        }
        const std::vector<std::string> t(
            std::sregex_token_iterator(line.begin(), line.end(), token), {});
        const std::size_t n = t.size();
        const std::string head = t[0], second = n > 1 ? t[1] : "";
        auto value = [&](std::size_t i) { return rc.Value(t[i]); };
        // Style words from `from` up to `to`, added to a start value.
        auto style = [&](std::size_t from, std::size_t to, std::uint32_t start) {
            for (; from < to; ++from) {
                if (t[from] != "|") start |= static_cast<std::uint32_t>(value(from));
            }
            return start;
        };
        if (line == "#pragma code_page(65001)") {
            rc.utf8 = true;
        } else if (line == "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US") {
            rc.usEnglish = true;
        } else if (n == 3 && (second == "BITMAP" || second == "ICON" || second == "RT_MANIFEST")) {
            rc.files[second + " " + std::to_string(value(0))] = Decode(t[2]);
        } else if (n == 6 && second == "DIALOGEX" && value(0) == IDD_MAIN) {
            inDialog = true;
            rc.numbers = {value(0), value(2), value(3), value(4), value(5)};
        } else if (n == 2 && second == "VERSIONINFO") {
            versionDepth = 0;
        } else if (versionDepth >= 0) {
            versionDepth += head == "BEGIN" ? 1 : head == "END" ? -1 : 0;
            if (head == "END" && versionDepth == 0) versionDepth = -1;
        } else if (!inDialog) {
            rc.unread.push_back(line);
        } else if (head == "STYLE" || head == "EXSTYLE") {
            (head == "STYLE" ? rc.style : rc.exStyle) |= style(1, n, 0);
        } else if (head == "CAPTION" && n == 2) {
            rc.caption = Decode(t[1]);
            rc.style |= 0x00C00000u;  // a caption adds its style bits
        } else if (head == "FONT" && n == 6) {
            rc.face = Decode(t[2]);
            rc.style |= 0x40u;  // and so does a font
            for (std::size_t i : {1, 3, 4, 5}) rc.numbers.push_back(value(i));
        } else if (head == "END") {
            inDialog = false;
        } else if ((head == "LTEXT" || head == "PUSHBUTTON") && n >= 7) {
            // The compiler's defaults: visible child; texts start a group,
            // push buttons are tab stops.
            const std::uint32_t start = 0x50000000u | (head == "PUSHBUTTON" ? 0x10000u : 0x20000u);
            rc.controls += Describe(head, {value(2), value(3), value(4), value(5), value(6), 0},
                                    style(7, n, start), Decode(t[1]));
        } else if (head == "CONTROL" && n >= 9) {
            rc.controls += Describe(
                head + " " + Decode(t[3]),
                {value(2), value(n - 4), value(n - 3), value(n - 2), value(n - 1), value(1)},
                style(4, n - 4, 0x50000000u), "");
        } else if (head != "BEGIN") {
            rc.unread.push_back(line);
        }
    }
    return rc;
}

}  // namespace

TEST(ResourceScript, MainDialogMatchesTheTemplateData) {
    const char* dir = std::getenv("KX9_SOURCE_DIR");
    ASSERT_NE(dir, nullptr) << "KX9_SOURCE_DIR is not set";
    const RcScript rc = ReadScript(dir);
    const plat::DialogTemplate* data = plat::FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(rc.unread, std::vector<std::string>{}) << "lines or names not understood";
    EXPECT_TRUE(rc.utf8) << "the quotation marks need the UTF-8 code page";
    EXPECT_TRUE(rc.usEnglish);

    EXPECT_EQ(Describe("DIALOGEX", rc.numbers, rc.style, rc.caption + ", " + rc.face),
              Describe("DIALOGEX",
                       {IDD_MAIN, data->x, data->y, data->cx, data->cy, data->pointSize,
                        data->weight, data->italic, data->charset},
                       data->style, std::string(data->caption) + ", " + data->fontFace));
    EXPECT_EQ(rc.exStyle, data->exStyle);

    // Id, place, size and picture of each control, in template order.
    std::string controls;
    for (std::size_t i = 0; i < data->controlCount; ++i) {
        const plat::ControlTemplate& d = data->controls[i];
        const char* statement = d.kind == plat::ControlKind::kStaticText   ? "LTEXT"
                                : d.kind == plat::ControlKind::kPushButton ? "PUSHBUTTON"
                                                                           : "CONTROL Static";
        controls +=
            Describe(statement, {d.id, d.x, d.y, d.cx, d.cy, long(d.image)}, d.style, d.text);
    }
    EXPECT_EQ(rc.controls, controls);
}

TEST(ResourceScript, PicturesIconAndManifestAreTheSharedFiles) {
    const char* dir = std::getenv("KX9_SOURCE_DIR");
    ASSERT_NE(dir, nullptr) << "KX9_SOURCE_DIR is not set";
    RcScript rc = ReadScript(dir);
    // The five pictures, the icon and the manifest: the loop below finds a
    // picture or icon under the wrong id by its bytes.
    EXPECT_EQ(rc.files.size(), 7u);
    const std::string res = std::string(dir) + "/ui/res/";
    for (unsigned id = IDR_MAINFRAME; id <= IDB_STEP_5; ++id) {  // the icon, then the pictures
        const bool icon = id == IDR_MAINFRAME;
        const plat::ResourceBytes b =
            icon ? plat::FindIconResource(id) : plat::FindBitmapResource(id);
        const std::string key = (icon ? "ICON " : "BITMAP ") + std::to_string(id);
        ASSERT_NE(b.data, nullptr) << key;
        EXPECT_TRUE(ReadFile(res + rc.files[key]) ==
                    std::string(reinterpret_cast<const char*>(b.data), b.size))
            << rc.files[key] << " differs from what the virtual window system embeds";
    }
    // No dependency declared: the classic look.
    const std::string manifest = ReadFile(res + rc.files["RT_MANIFEST 1"]);
    EXPECT_NE(manifest.find("<assembly"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}
