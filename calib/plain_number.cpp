#include "calib/plain_number.h"

#include <charconv>
#include <system_error>

bool HasHexPrefix(std::string_view text) {
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

NumberRead ReadPlainNumber(std::string_view text, NumberForm form, std::uint64_t max,
                           std::uint64_t* value) {
    int base = form == NumberForm::kHex ? 16 : 10;
    if (form != NumberForm::kDecimal && HasHexPrefix(text)) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no '+' and, into an unsigned type, no '-'; it skips no
    // blanks. What it leaves unread is junk after the number.
    std::uint64_t v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, v, base);
    if (ec == std::errc::invalid_argument || stop != end) return NumberRead::kNotANumber;
    if (ec == std::errc::result_out_of_range || v > max) return NumberRead::kTooLarge;
    *value = v;
    return NumberRead::kOk;
}
