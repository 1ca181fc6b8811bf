// The one cleaning that every text from outside (device names and paths, file
// names and contents, script lines) passes before it reaches a terminal:
// control characters and broken UTF-8 become a visible placeholder, so no
// such text can send the terminal a control sequence.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace term {

// The characters of `text` as UTF-8 strings, one per character, cleaned.
std::vector<std::string> SplitGlyphs(std::string_view text);

// `text` cleaned, as one string.
std::string CleanText(std::string_view text);

}  // namespace term
