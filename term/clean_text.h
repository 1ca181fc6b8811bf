// The one cleaning that every text from outside (device names and paths, file
// names and contents, script lines) passes before it reaches a terminal:
// C0 and C1 controls, DEL and malformed UTF-8 (overlong forms, surrogates,
// code points above U+10FFFF, sequences cut short) become a visible
// placeholder, so no such text can send the terminal a control sequence.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace term {

// U+FFFD REPLACEMENT CHARACTER: unlike '?', it cannot be mistaken for a
// character the text really holds.
inline constexpr std::string_view kPlaceholder = "\xEF\xBF\xBD";

// The characters of `text` as UTF-8 strings, one per character, cleaned.
// A malformed sequence gives one placeholder for the longest part of it
// that could have begun a character, as Unicode recommends, so one stray
// byte never swallows the characters after it.
std::vector<std::string> SplitGlyphs(std::string_view text);

// `text` cleaned, as one string.
std::string CleanText(std::string_view text);

}  // namespace term
