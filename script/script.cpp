#include "script/script.h"

#include <sstream>

#include "calib/plain_number.h"
#include "platform/win_defs.h"

namespace script {
namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The text after the command word, without surrounding blanks: a path may
// hold blanks of its own.
std::string RestOfLine(const std::string& line, const std::string& command) {
    std::size_t at = line.find(command);
    at = at == std::string::npos ? line.size() : at + command.size();
    const std::size_t a = line.find_first_not_of(" \t", at);
    if (a == std::string::npos) return {};
    const std::size_t b = line.find_last_not_of(" \t");
    return line.substr(a, b - a + 1);
}

}  // namespace

unsigned ScriptKeyCode(std::string_view name) {
    const std::string n = Lower(std::string(name));
    if (n == "space") return VK_SPACE;
    if (n == "enter") return VK_RETURN;
    if (n == "escape") return VK_ESCAPE;
    if (n == "tab") return VK_TAB;
    if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z') return static_cast<unsigned>(n[0] - 'a' + 'A');
    if (n.size() == 1 && n[0] >= '0' && n[0] <= '9') return static_cast<unsigned>(n[0]);
    return 0;
}

bool ParseScriptNumber(std::string_view text, std::uint32_t max, std::uint32_t* value) {
    std::uint64_t v = 0;
    if (ReadPlainNumber(text, NumberForm::kDecimalOrHex, max, &v) != NumberRead::kOk) return false;
    *value = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseScript(std::istream& in, std::vector<ScriptCommand>* commands, ScriptError* error) {
    std::string line;
    int number = 0;
    auto fail = [&](std::string message) {
        error->line = number;
        error->message = std::move(message);
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> w = Words(line);
        if (w.empty() || w[0][0] == '#') continue;

        ScriptCommand c;
        c.line = number;
        const std::string& name = w[0];
        const std::size_t args = w.size() - 1;
        if (name == "key" || name == "keydown" || name == "keyup") {
            c.op = name == "key" ? ScriptOp::kKey
                                 : (name == "keydown" ? ScriptOp::kKeyDown : ScriptOp::kKeyUp);
            if (args != 1 || (c.vk = ScriptKeyCode(w[1])) == 0) {
                return fail(name +
                            " needs one key: space, enter, escape, tab, a letter or a digit");
            }
        } else if (name == "stick") {
            c.op = ScriptOp::kStick;
            std::uint32_t x = 0;
            std::uint32_t y = 0;
            if (args != 2 || !ParseScriptNumber(w[1], 0xFFFF, &x) ||
                !ParseScriptNumber(w[2], 0xFFFF, &y)) {
                return fail("stick needs X and Y, 0..65535, decimal or 0x hexadecimal");
            }
            c.x = static_cast<std::uint16_t>(x);
            c.y = static_cast<std::uint16_t>(y);
        } else if (name == "wait") {
            c.op = ScriptOp::kWait;
            if (args != 1 || !ParseScriptNumber(w[1], kMaxScriptWaitMs, &c.ms)) {
                return fail("wait needs milliseconds, 0.." + std::to_string(kMaxScriptWaitMs));
            }
        } else if (name == "click") {
            c.op = ScriptOp::kClick;
            std::uint32_t id = 0;
            if (args != 1 || !ParseScriptNumber(w[1], 0xFFFF, &id)) {
                return fail("click needs a control id, 0..65535");
            }
            c.id = static_cast<int>(id);
        } else if (name == "save") {
            c.op = ScriptOp::kSave;
            c.path = RestOfLine(line, "save");
            if (c.path.empty()) return fail("save needs a path");
        } else if (name == "unplug" || name == "plug" || name == "cancel" || name == "close" ||
                   name == "show") {
            c.op = name == "unplug"   ? ScriptOp::kUnplug
                   : name == "plug"   ? ScriptOp::kPlug
                   : name == "cancel" ? ScriptOp::kCancel
                   : name == "close"  ? ScriptOp::kClose
                                      : ScriptOp::kShow;
            if (args != 0) return fail(name + " takes no arguments");
        } else {
            std::string shown;
            for (char ch : name.substr(0, 40)) {
                shown.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch);
            }
            return fail("unknown command \"" + shown + "\"");
        }
        commands->push_back(std::move(c));
    }
    return true;
}

bool ScriptNeedsVirtualStick(const std::vector<ScriptCommand>& commands, int* line) {
    for (const ScriptCommand& c : commands) {
        if (c.op == ScriptOp::kStick || c.op == ScriptOp::kUnplug || c.op == ScriptOp::kPlug) {
            if (line != nullptr) *line = c.line;
            return true;
        }
    }
    return false;
}

}  // namespace script
