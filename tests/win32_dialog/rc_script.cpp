#include "tests/win32_dialog/rc_script.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace rcscript {
namespace {

// The system constants a script of ours may name, as the resource compiler
// sees them.
const std::map<std::string, long> kSystem = {
    {"WS_POPUP", 0x80000000L},
    {"WS_CHILD", 0x40000000L},
    {"WS_VISIBLE", 0x10000000L},
    {"WS_DISABLED", 0x08000000L},
    {"WS_CAPTION", 0x00C00000L},
    {"WS_BORDER", 0x00800000L},
    {"WS_VSCROLL", 0x00200000L},
    {"WS_HSCROLL", 0x00100000L},
    {"WS_SYSMENU", 0x00080000L},
    {"WS_THICKFRAME", 0x00040000L},
    {"WS_GROUP", 0x00020000L},
    {"WS_TABSTOP", 0x00010000L},
    {"WS_MINIMIZEBOX", 0x00020000L},
    {"WS_MAXIMIZEBOX", 0x00010000L},
    {"DS_SETFONT", 0x40L},
    {"DS_MODALFRAME", 0x80L},
    {"DS_FIXEDSYS", 0x08L},
    {"DS_CENTER", 0x0800L},
    {"DS_SHELLFONT", 0x48L},
    {"WS_EX_APPWINDOW", 0x00040000L},
    {"WS_EX_TOOLWINDOW", 0x00000080L},
    {"SS_LEFT", 0x0L},
    {"SS_CENTER", 0x1L},
    {"SS_RIGHT", 0x2L},
    {"SS_ICON", 0x3L},
    {"SS_BITMAP", 0xEL},
    {"SS_NOTIFY", 0x100L},
    {"SS_CENTERIMAGE", 0x200L},
    {"SS_REALSIZEIMAGE", 0x800L},
    {"BS_PUSHBUTTON", 0x0L},
    {"BS_DEFPUSHBUTTON", 0x1L},
    {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1L},
    {"RT_MANIFEST", 24L},
};

constexpr std::uint32_t kChildVisible = 0x40000000u | 0x10000000u;

enum class Kind { kString, kNumber, kIdent, kPunct, kDirective, kEnd };

struct Token {
    Kind kind = Kind::kEnd;
    std::string text;  // identifier, punctuation, directive, raw string body
    long number = 0;
    int line = 0;
};

std::vector<Token> Tokenize(const std::string& s) {
    std::vector<Token> out;
    int line = 1;
    bool lineStart = true;
    std::size_t i = 0;
    auto fail = [&](const std::string& what) {
        throw std::runtime_error("line " + std::to_string(line) + ": " + what);
    };
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\n') {
            ++line;
            lineStart = true;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const std::size_t end = s.find("*/", i + 2);
            if (end == std::string::npos) fail("unterminated comment");
            for (std::size_t k = i; k < end; ++k) line += s[k] == '\n';
            i = end + 2;
            continue;
        }
        if (c == '#' && lineStart) {
            std::size_t end = s.find('\n', i);
            if (end == std::string::npos) end = s.size();
            out.push_back({Kind::kDirective, s.substr(i + 1, end - i - 1), 0, line});
            i = end;
            continue;
        }
        lineStart = false;
        if (c == '"') {
            std::string body;
            ++i;
            for (;;) {
                if (i >= s.size() || s[i] == '\n') fail("unterminated string");
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        body += "\"\"";
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (s[i] == '\\' && i + 1 < s.size()) {
                    body += s.substr(i, 2);
                    i += 2;
                    continue;
                }
                body.push_back(s[i++]);
            }
            out.push_back({Kind::kString, body, 0, line});
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t used = 0;
            const long value = std::stol(s.substr(i, 32), &used, 0);
            i += used;
            while (i < s.size() && (s[i] == 'L' || s[i] == 'l' || s[i] == 'U' || s[i] == 'u')) ++i;
            out.push_back({Kind::kNumber, "", value, line});
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t end = i;
            while (end < s.size() &&
                   (std::isalnum(static_cast<unsigned char>(s[end])) || s[end] == '_')) {
                ++end;
            }
            out.push_back({Kind::kIdent, s.substr(i, end - i), 0, line});
            i = end;
            continue;
        }
        if (std::string(",|(){}+-").find(c) != std::string::npos) {
            out.push_back({Kind::kPunct, std::string(1, c), 0, line});
            ++i;
            continue;
        }
        fail(std::string("unexpected character '") + c + "'");
    }
    out.push_back({Kind::kEnd, "", 0, line});
    return out;
}

class Parser {
  public:
    Parser(std::vector<Token> tokens, const std::map<std::string, long>& defines)
        : m_tokens(std::move(tokens)), m_defines(defines) {}

    Script Run() {
        Script script;
        while (Peek().kind != Kind::kEnd) {
            if (Peek().kind == Kind::kDirective) {
                const std::string d = Next().text;
                if (d.rfind("pragma", 0) == 0) script.pragmas.push_back(Trim(d.substr(6)));
                continue;
            }
            if (IsIdent("LANGUAGE")) {
                Next();
                std::string lang = ExpectIdent();
                Expect(",");
                lang += ", " + ExpectIdent();
                script.language = lang;
                continue;
            }
            const long id = Number();
            if (IsIdent("DIALOGEX")) {
                Next();
                script.dialogs.push_back(DialogBody(id));
                continue;
            }
            FileResource f;
            f.id = id;
            if (Peek().kind == Kind::kNumber) {
                f.type = std::to_string(Next().number);
            } else {
                const std::string t = ExpectIdent();
                auto sys = kSystem.find(t);
                f.type =
                    (t == "RT_MANIFEST" && sys != kSystem.end()) ? std::to_string(sys->second) : t;
            }
            f.file = DecodeString(ExpectString());
            script.files.push_back(f);
        }
        return script;
    }

  private:
    std::vector<Token> m_tokens;
    const std::map<std::string, long>& m_defines;
    std::size_t m_pos = 0;

    static std::string Trim(const std::string& s) {
        const auto b = s.find_first_not_of(" \t\r");
        const auto e = s.find_last_not_of(" \t\r");
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    }

    const Token& Peek() const { return m_tokens[m_pos]; }
    const Token& Next() {
        const Token& t = m_tokens[m_pos];
        if (t.kind != Kind::kEnd) ++m_pos;
        return t;
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error("line " + std::to_string(Peek().line) + ": " + what);
    }
    bool IsIdent(const char* name) const {
        return Peek().kind == Kind::kIdent && Peek().text == name;
    }
    bool IsPunct(const char* p) const { return Peek().kind == Kind::kPunct && Peek().text == p; }
    void Expect(const char* p) {
        if (!IsPunct(p)) Fail(std::string("expected '") + p + "'");
        Next();
    }
    std::string ExpectIdent() {
        if (Peek().kind != Kind::kIdent) Fail("expected a name");
        return Next().text;
    }
    std::string ExpectString() {
        if (Peek().kind != Kind::kString) Fail("expected a string");
        return Next().text;
    }

    long Resolve(const std::string& name) const {
        if (auto d = m_defines.find(name); d != m_defines.end()) return d->second;
        if (auto s = kSystem.find(name); s != kSystem.end()) return s->second;
        Fail("unknown name " + name);
    }

    long Number() {
        if (IsPunct("-")) {
            Next();
            return -Number();
        }
        if (IsPunct("(")) {
            Next();
            const long v = Number();
            Expect(")");
            return v;
        }
        if (Peek().kind == Kind::kNumber) return Next().number;
        if (Peek().kind == Kind::kIdent) return Resolve(Next().text);
        Fail("expected a number");
    }

    // "A | B | NOT C" applied to a starting value.
    std::uint32_t Style(std::uint32_t start) {
        std::uint32_t value = start;
        for (;;) {
            if (IsIdent("NOT")) {
                Next();
                value &= ~static_cast<std::uint32_t>(Number());
            } else {
                value |= static_cast<std::uint32_t>(Number());
            }
            if (!IsPunct("|") && !IsPunct("+")) return value;
            Next();
        }
    }

    Dialog DialogBody(long id) {
        Dialog d;
        d.id = id;
        d.x = Number();
        Expect(",");
        d.y = Number();
        Expect(",");
        d.cx = Number();
        Expect(",");
        d.cy = Number();
        bool hasStyle = false;
        for (;;) {
            if (IsIdent("STYLE")) {
                Next();
                d.style = Style(0);
                hasStyle = true;
            } else if (IsIdent("EXSTYLE")) {
                Next();
                d.exStyle = Style(0);
            } else if (IsIdent("CAPTION")) {
                Next();
                d.caption = DecodeString(ExpectString());
            } else if (IsIdent("FONT")) {
                Next();
                d.pointSize = Number();
                Expect(",");
                d.fontFace = DecodeString(ExpectString());
                if (IsPunct(",")) {
                    Next();
                    d.weight = Number();
                    Expect(",");
                    d.italic = Number();
                    Expect(",");
                    d.charset = Number();
                }
            } else if (IsIdent("BEGIN") || IsPunct("{")) {
                Next();
                break;
            } else {
                Fail("unsupported dialog statement " + Peek().text);
            }
        }
        // What the compiler adds: the default frame without STYLE, the
        // caption bar with CAPTION, the font flag with FONT.
        if (!hasStyle) d.style = 0x80000000u | 0x00800000u | 0x00080000u;
        if (!d.caption.empty()) d.style |= 0x00C00000u;
        if (!d.fontFace.empty()) d.style |= 0x40u;
        while (!IsIdent("END") && !IsPunct("}")) {
            if (Peek().kind == Kind::kEnd) Fail("missing END");
            d.controls.push_back(ControlStatement());
        }
        Next();
        return d;
    }

    void Text(Control* c) {
        if (Peek().kind == Kind::kString) {
            c->text = DecodeString(Next().text);
        } else {
            c->textId = Number();
        }
    }

    void Rect(Control* c) {
        c->x = Number();
        Expect(",");
        c->y = Number();
        Expect(",");
        c->cx = Number();
        Expect(",");
        c->cy = Number();
    }

    Control ControlStatement() {
        static const std::map<std::string, std::uint32_t> kDefaults = {
            {"LTEXT", 0x0u | 0x00020000u},         {"CTEXT", 0x1u | 0x00020000u},
            {"RTEXT", 0x2u | 0x00020000u},         {"PUSHBUTTON", 0x0u | 0x00010000u},
            {"DEFPUSHBUTTON", 0x1u | 0x00010000u},
        };
        Control c;
        c.statement = ExpectIdent();
        if (c.statement == "CONTROL") {
            Text(&c);
            Expect(",");
            c.id = Number();
            Expect(",");
            c.className = Peek().kind == Kind::kString ? DecodeString(Next().text) : ExpectIdent();
            Expect(",");
            c.style = Style(kChildVisible);
            Expect(",");
            Rect(&c);
            if (IsPunct(",")) {
                Next();
                c.exStyle = Style(0);
            }
            return c;
        }
        auto d = kDefaults.find(c.statement);
        if (d == kDefaults.end()) Fail("unsupported control statement " + c.statement);
        Text(&c);
        Expect(",");
        c.id = Number();
        Expect(",");
        Rect(&c);
        c.style = kChildVisible | d->second;
        if (IsPunct(",")) {
            Next();
            c.style = Style(c.style);
            if (IsPunct(",")) {
                Next();
                c.exStyle = Style(0);
            }
        }
        return c;
    }
};

}  // namespace

std::map<std::string, long> ReadDefines(const std::string& header) {
    std::map<std::string, long> out;
    std::istringstream in(header);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string hash, name, value;
        if (!(words >> hash >> name >> value) || hash != "#define") continue;
        try {
            std::size_t used = 0;
            const long v = std::stol(value, &used, 0);
            if (used == value.size()) out[name] = v;
        } catch (const std::exception&) {
            // Not a number: not one of ours.
        }
    }
    return out;
}

std::string DecodeString(const std::string& body) {
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '"' && i + 1 < body.size() && body[i + 1] == '"') {
            out.push_back('"');
            ++i;
        } else if (c == '\\' && i + 1 < body.size()) {
            const char e = body[++i];
            switch (e) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 'a':  // the compiler's right-align mark, a backspace
                    out.push_back('\b');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case '"':
                    out.push_back('"');
                    break;
                default:
                    out.push_back('\\');
                    out.push_back(e);
                    break;
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

Script Parse(const std::string& script, const std::map<std::string, long>& defines) {
    return Parser(Tokenize(script), defines).Run();
}

}  // namespace rcscript
