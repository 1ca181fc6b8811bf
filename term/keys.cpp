#include "term/keys.h"

#include <algorithm>

#include "platform/win_defs.h"

namespace term {
namespace {

constexpr unsigned char kEsc = 0x1B;
// Longer than any real control sequence: such input is noise, not a key.
constexpr std::size_t kMaxSequence = 32;

Key Make(KeyKind kind, unsigned char ch = 0) {
    return Key{kind, ch};
}

Key FromByte(unsigned char b) {
    switch (b) {
        case ' ':
            return Make(KeyKind::kSpace);
        case '\r':
        case '\n':
            return Make(KeyKind::kEnter);
        case '\t':
            return Make(KeyKind::kTab);
        case 0x7F:
        case 0x08:
            return Make(KeyKind::kBackspace);
        case 0x03:
            return Make(KeyKind::kCtrlC);
        case 0x0C:
            return Make(KeyKind::kCtrlL);
        case 0x1A:
            return Make(KeyKind::kCtrlZ);
        default:
            break;
    }
    if (b >= 0x21 && b != 0x7F) return Make(KeyKind::kChar, b);
    return Make(KeyKind::kOther);
}

// A parameter string "a:b;c:d" as fields of colon-separated numbers; an
// empty or malformed number is 0.
std::vector<std::vector<unsigned>> Fields(const std::string& params) {
    std::vector<std::vector<unsigned>> fields(1, std::vector<unsigned>(1, 0));
    for (char c : params) {
        if (c == ';') {
            fields.emplace_back(1, 0);
        } else if (c == ':') {
            fields.back().push_back(0);
        } else if (c >= '0' && c <= '9') {
            unsigned& v = fields.back().back();
            // Past any key code or modifier: kept there, never wrapped.
            v = v > 0x10FFFF ? v : v * 10 + static_cast<unsigned>(c - '0');
        }
    }
    return fields;
}

unsigned Field(const std::vector<std::vector<unsigned>>& fields, std::size_t f, std::size_t sub,
               unsigned otherwise) {
    if (f >= fields.size() || sub >= fields[f].size() || fields[f][sub] == 0) return otherwise;
    return fields[f][sub];
}

KeyEvent EventOf(unsigned code) {
    return code == 2 ? KeyEvent::kRepeat : code == 3 ? KeyEvent::kRelease : KeyEvent::kPress;
}

constexpr unsigned kShift = 1;
constexpr unsigned kCtrl = 4;
// Code points the protocol gives to keys that have no text (F13.., keypad,
// modifiers, media keys).
constexpr unsigned kPrivateUseFirst = 0xE000;
constexpr unsigned kPrivateUseLast = 0xF8FF;

// "ESC [ code[:shifted] ; modifiers[:event] u": one key, or the bytes of a
// character beyond ASCII, as the older input gives them.
void FromProtocolKey(const std::string& params, std::vector<Key>* out) {
    if (!params.empty() && params[0] == '?') {
        const unsigned flags = Field(Fields(params.substr(1)), 0, 0, 0);
        out->push_back(Key{KeyKind::kKeyboardProtocol, static_cast<unsigned char>(flags & 0xFF)});
        return;
    }
    const auto fields = Fields(params);
    const unsigned code = Field(fields, 0, 0, 0);
    const unsigned modifiers = Field(fields, 1, 0, 1) - 1;
    const KeyEvent event = EventOf(Field(fields, 1, 1, 1));
    auto push = [&](KeyKind kind, unsigned char ch = 0) { out->push_back(Key{kind, ch, event}); };
    if ((modifiers & kCtrl) != 0) {
        push(code == 'c'   ? KeyKind::kCtrlC
             : code == 'l' ? KeyKind::kCtrlL
             : code == 'z' ? KeyKind::kCtrlZ
                           : KeyKind::kOther);
        return;
    }
    switch (code) {
        case 13:
            return push(KeyKind::kEnter);
        case 9:
            return push(KeyKind::kTab);
        case 8:
        case 127:
            return push(KeyKind::kBackspace);
        case 27:
            return push(KeyKind::kEscape);
        case 32:
            return push(KeyKind::kSpace);
        default:
            break;
    }
    unsigned cp = code;
    if ((modifiers & kShift) != 0) {
        cp = Field(fields, 0, 1, code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code);
    }
    if (cp < 0x21 || cp == 0x7F || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ||
        (cp >= kPrivateUseFirst && cp <= kPrivateUseLast) || (cp >= 0x80 && cp < 0xA0)) {
        return push(KeyKind::kOther);
    }
    if (cp < 0x80) return push(KeyKind::kChar, static_cast<unsigned char>(cp));
    // UTF-8, one key per byte, as typed text arrives without the protocol.
    unsigned char bytes[4];
    int n;
    if (cp < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        n = 1;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        n = 2;
    } else {
        bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        n = 3;
    }
    bytes[n++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    for (int i = 0; i < n; ++i) push(KeyKind::kChar, bytes[i]);
}

// The key a finished CSI ("ESC [") or SS3 ("ESC O") sequence stands for.
void FromSequence(const std::string& params, unsigned char final, std::vector<Key>* out) {
    if (final == 'u') return FromProtocolKey(params, out);
    // The protocol adds the event after the modifiers: "ESC [ 1 ; 1 : 3 A".
    const KeyEvent event = EventOf(Field(Fields(params), 1, 1, 1));
    auto push = [&](KeyKind kind) { out->push_back(Key{kind, 0, event}); };
    switch (final) {
        case 'A':
            return push(KeyKind::kUp);
        case 'B':
            return push(KeyKind::kDown);
        case 'C':
            return push(KeyKind::kRight);
        case 'D':
            return push(KeyKind::kLeft);
        case 'H':
            return push(KeyKind::kHome);
        case 'F':
            return push(KeyKind::kEnd);
        case '~': {
            const std::string first = params.substr(0, params.find_first_of(";:"));
            if (first == "1" || first == "7") return push(KeyKind::kHome);
            if (first == "4" || first == "8") return push(KeyKind::kEnd);
            if (first == "3") return push(KeyKind::kDelete);
            return push(KeyKind::kOther);
        }
        default:
            return push(KeyKind::kOther);
    }
}

}  // namespace

bool operator==(const Key& a, const Key& b) {
    return a.kind == b.kind && a.ch == b.ch && a.event == b.event;
}

void KeyDecoder::Feed(const unsigned char* data, std::size_t size, std::vector<Key>* out) {
    if (data != nullptr) m_pending.append(reinterpret_cast<const char*>(data), size);
    Decode(out, false);
}

void KeyDecoder::Flush(std::vector<Key>* out) {
    Decode(out, true);
}

void KeyDecoder::Decode(std::vector<Key>* out, bool flushing) {
    std::size_t i = 0;
    const std::size_t n = m_pending.size();
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(m_pending[k]); };
    while (i < n) {
        const unsigned char b = byte(i);
        if (b != kEsc) {
            out->push_back(FromByte(b));
            ++i;
            continue;
        }
        if (i + 1 >= n) {
            // A lone ESC: the Escape key, unless the rest of a sequence is
            // still on its way.
            if (!flushing) break;
            out->push_back(Make(KeyKind::kEscape));
            ++i;
            continue;
        }
        const unsigned char intro = byte(i + 1);
        if (intro != '[' && intro != 'O') {
            // ESC before a key is Alt+key, or Escape pressed twice: the
            // Escape key, then the next byte on its own.
            out->push_back(Make(KeyKind::kEscape));
            ++i;
            continue;
        }
        std::size_t j = i + 2;
        std::string params;
        bool complete = false;
        unsigned char final = 0;
        while (j < n && j - i < kMaxSequence) {
            const unsigned char c = byte(j);
            if (intro == 'O' || (c >= 0x40 && c <= 0x7E)) {
                final = c;
                complete = true;
                ++j;
                break;
            }
            if (c < 0x20 || c > 0x3F) {  // not a parameter or intermediate
                break;
            }
            params.push_back(static_cast<char>(c));
            ++j;
        }
        if (complete) {
            FromSequence(params, final, out);
            i = j;
            continue;
        }
        if (j < n || j - i >= kMaxSequence || flushing) {
            // Broken or overlong: whatever it was, it is no key of ours.
            out->push_back(Make(KeyKind::kOther));
            i = j;
            continue;
        }
        break;  // wait for the rest
    }
    m_pending.erase(0, i);
}

unsigned VirtualKeyOf(const Key& key) {
    switch (key.kind) {
        case KeyKind::kSpace:
            return VK_SPACE;
        case KeyKind::kEnter:
            return VK_RETURN;
        case KeyKind::kEscape:
            return VK_ESCAPE;
        case KeyKind::kTab:
            return VK_TAB;
        case KeyKind::kBackspace:
            return VK_BACK;
        case KeyKind::kDelete:
            return 0x2E;  // VK_DELETE
        case KeyKind::kUp:
            return VK_UP;
        case KeyKind::kDown:
            return VK_DOWN;
        case KeyKind::kLeft:
            return VK_LEFT;
        case KeyKind::kRight:
            return VK_RIGHT;
        case KeyKind::kHome:
            return 0x24;  // VK_HOME
        case KeyKind::kEnd:
            return 0x23;  // VK_END
        case KeyKind::kChar:
            break;
        default:
            return 0;
    }
    const unsigned char c = key.ch;
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    // Shifted digits and punctuation, on a US keyboard.
    static constexpr struct {
        char ch;
        unsigned vk;
    } kOthers[] = {
        {')', '0'},  {'!', '1'},  {'@', '2'},   {'#', '3'},  {'$', '4'},  {'%', '5'},   {'^', '6'},
        {'&', '7'},  {'*', '8'},  {'(', '9'},   {';', 0xBA}, {':', 0xBA}, {'=', 0xBB},  {'+', 0xBB},
        {',', 0xBC}, {'<', 0xBC}, {'-', 0xBD},  {'_', 0xBD}, {'.', 0xBE}, {'>', 0xBE},  {'/', 0xBF},
        {'?', 0xBF}, {'`', 0xC0}, {'~', 0xC0},  {'[', 0xDB}, {'{', 0xDB}, {'\\', 0xDC}, {'|', 0xDC},
        {']', 0xDD}, {'}', 0xDD}, {'\'', 0xDE}, {'"', 0xDE},
    };
    for (const auto& o : kOthers) {
        if (static_cast<unsigned char>(o.ch) == c) return o.vk;
    }
    return 0;
}

void HeldKeys::Press(unsigned vk, std::uint64_t nowMs, std::vector<KeyTransition>* out) {
    if (m_reported) {
        if (std::find(m_down.begin(), m_down.end(), vk) == m_down.end()) m_down.push_back(vk);
        out->push_back(KeyTransition{vk, true});
        return;
    }
    if (m_held && vk == m_vk && nowMs - m_last <= (m_repeating ? m_repeatGap : m_firstGap)) {
        m_repeating = true;
        m_last = nowMs;
        out->push_back(KeyTransition{vk, true});
        return;
    }
    ReleaseAll(out);
    m_held = true;
    m_repeating = false;
    m_vk = vk;
    m_last = nowMs;
    out->push_back(KeyTransition{vk, true});
}

void HeldKeys::Tick(std::uint64_t nowMs, std::vector<KeyTransition>* out) {
    if (MsUntilRelease(nowMs) == 0) ReleaseAll(out);
}

void HeldKeys::ReleaseAll(std::vector<KeyTransition>* out) {
    for (unsigned vk : m_down) out->push_back(KeyTransition{vk, false});
    m_down.clear();
    if (!m_held) return;
    m_held = false;
    m_repeating = false;
    out->push_back(KeyTransition{m_vk, false});
}

void HeldKeys::UseReportedReleases(std::vector<KeyTransition>* out) {
    if (m_reported) return;
    ReleaseAll(out);
    m_reported = true;
}

void HeldKeys::Release(unsigned vk, std::vector<KeyTransition>* out) {
    const auto it = std::find(m_down.begin(), m_down.end(), vk);
    if (it == m_down.end()) return;
    m_down.erase(it);
    out->push_back(KeyTransition{vk, false});
}

std::int64_t HeldKeys::MsUntilRelease(std::uint64_t nowMs) const {
    if (!m_held) return -1;
    const std::uint64_t due = m_last + (m_repeating ? m_repeatGap : m_firstGap) + 1;
    return nowMs >= due ? 0 : static_cast<std::int64_t>(due - nowMs);
}

}  // namespace term
