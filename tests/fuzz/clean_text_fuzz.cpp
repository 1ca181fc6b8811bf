// Any outside text: what reaches the screen is valid UTF-8 (shortest form,
// no surrogates, nothing above U+10FFFF) without C0 or C1 controls or DEL.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "term/clean_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// The code point at `i`, or -1 when the bytes there are not valid UTF-8.
long DecodeStrict(const std::string& s, std::size_t* i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(*i);
    int len = 0;
    long cp = 0;
    long least = 0;
    if (lead < 0x80) {
        len = 1, cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        len = 2, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return -1;
    }
    if (*i + static_cast<std::size_t>(len) > s.size()) return -1;
    for (int k = 1; k < len; ++k) {
        const unsigned char c = byte(*i + static_cast<std::size_t>(k));
        if ((c & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    *i += static_cast<std::size_t>(len);
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    return cp;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string clean =
        term::CleanText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::size_t i = 0; i < clean.size();) {
        const long cp = DecodeStrict(clean, &i);
        FUZZ_CHECK(cp >= 0);
        FUZZ_CHECK(cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp <= 0x9F));
    }
    return 0;
}
