#include "term/clean_text.h"

namespace term {
namespace {

struct Scan {
    std::size_t length;  // bytes taken, at least 1
    bool shown;          // a character the terminal may be sent as it is
};

// The character at `at`: well-formed UTF-8 is exactly what the table of
// the Unicode standard allows (the narrowed second-byte ranges rule out
// overlong forms, surrogates and code points above U+10FFFF).
Scan ScanCharacter(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {1, lead >= 0x20 && lead != 0x7F};
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // below: overlong
        if (lead == 0xED) high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // below: overlong
        if (lead == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return {1, false};  // continuation bytes, C0, C1, F5..FF
    }
    std::size_t k = 1;
    for (; k < length && at + k < text.size(); ++k) {
        if (byte(k) < low || byte(k) > high) break;
        low = 0x80;
        high = 0xBF;
    }
    if (k < length) return {k, false};
    // C1 controls (U+0080..U+009F) act as escapes on some terminals.
    if (lead == 0xC2 && byte(1) < 0xA0) return {2, false};
    return {length, true};
}

}  // namespace

std::vector<std::string> SplitGlyphs(std::string_view text) {
    std::vector<std::string> glyphs;
    for (std::size_t i = 0; i < text.size();) {
        const Scan scan = ScanCharacter(text, i);
        glyphs.emplace_back(scan.shown ? text.substr(i, scan.length) : kPlaceholder);
        i += scan.length;
    }
    return glyphs;
}

std::string CleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Scan scan = ScanCharacter(text, i);
        out += scan.shown ? text.substr(i, scan.length) : kPlaceholder;
        i += scan.length;
    }
    return out;
}

}  // namespace term
