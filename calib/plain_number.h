// The one reader of the plain unsigned numbers that people type into block
// files, scripts, options and control files: digits and nothing else, no
// sign, no blanks, in one of three forms.
#pragma once

#include <cstdint>
#include <string_view>

enum class NumberForm {
    kDecimalOrHex,  // 123, or 0x7B / 0X7B
    kDecimal,       // 123
    kHex,           // 7B, 0x7B or 0X7B
};

enum class NumberRead {
    kOk,
    kNotANumber,  // empty, a sign, a blank, a digit of no base the form allows
    kTooLarge,    // digits only, but past `max`
};

// "0x" or "0X" with at least one character after it.
bool HasHexPrefix(std::string_view text);

// `value` is set only on kOk. A number of any length is read: one past
// 64 bits is kTooLarge, never a wrapped value.
NumberRead ReadPlainNumber(std::string_view text, NumberForm form, std::uint64_t max,
                           std::uint64_t* value);
