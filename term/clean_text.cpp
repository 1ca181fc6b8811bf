#include "term/clean_text.h"

namespace term {
namespace {

// Bytes in the UTF-8 sequence that `lead` begins, 0 for a byte that cannot
// begin one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

std::vector<std::string> SplitGlyphs(std::string_view text) {
    std::vector<std::string> glyphs;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int len = SequenceLength(lead);
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= text.size();
        for (int k = 1; ok && k < len; ++k) {
            ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (ok && len == 1 && (lead < 0x20 || lead == 0x7F)) ok = false;
        // C1 controls (U+0080..U+009F) act as escapes on some terminals.
        if (ok && len == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            ok = false;
        }
        if (ok) {
            glyphs.emplace_back(text.substr(i, static_cast<std::size_t>(len)));
            i += static_cast<std::size_t>(len);
        } else {
            glyphs.emplace_back("?");
            ++i;
        }
    }
    return glyphs;
}

std::string CleanText(std::string_view text) {
    std::string out;
    for (const std::string& glyph : SplitGlyphs(text)) out += glyph;
    return out;
}

}  // namespace term
