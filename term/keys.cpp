#include "term/keys.h"

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

// The key a finished CSI ("ESC [") or SS3 ("ESC O") sequence stands for.
Key FromSequence(const std::string& params, unsigned char final) {
    switch (final) {
        case 'A':
            return Make(KeyKind::kUp);
        case 'B':
            return Make(KeyKind::kDown);
        case 'C':
            return Make(KeyKind::kRight);
        case 'D':
            return Make(KeyKind::kLeft);
        case 'H':
            return Make(KeyKind::kHome);
        case 'F':
            return Make(KeyKind::kEnd);
        case '~': {
            const std::string first = params.substr(0, params.find(';'));
            if (first == "1" || first == "7") return Make(KeyKind::kHome);
            if (first == "4" || first == "8") return Make(KeyKind::kEnd);
            if (first == "3") return Make(KeyKind::kDelete);
            return Make(KeyKind::kOther);
        }
        default:
            return Make(KeyKind::kOther);
    }
}

}  // namespace

bool operator==(const Key& a, const Key& b) {
    return a.kind == b.kind && a.ch == b.ch;
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
            out->push_back(FromSequence(params, final));
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
    if (!m_held) return;
    m_held = false;
    m_repeating = false;
    out->push_back(KeyTransition{m_vk, false});
}

std::int64_t HeldKeys::MsUntilRelease(std::uint64_t nowMs) const {
    if (!m_held) return -1;
    const std::uint64_t due = m_last + (m_repeating ? m_repeatGap : m_firstGap) + 1;
    return nowMs >= due ? 0 : static_cast<std::int64_t>(due - nowMs);
}

}  // namespace term
