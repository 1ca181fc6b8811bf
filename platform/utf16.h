// Text from Windows (device paths, product and serial strings) is UTF-16;
// everything above the platform holds UTF-8. The one conversion between them.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// Up to the first NUL, if any; a lone surrogate becomes U+FFFD, so whatever
// a device reports comes out as valid UTF-8.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace plat
