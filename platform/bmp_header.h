// The header of a BMP file image, read once for everyone who looks at one:
// the window system for a picture's size, the terminal to decode it. Every
// field is checked against the bytes there are before it is read, so no
// damaged file is read past its end.
#pragma once

#include <cstdint>

#include "platform/dialog_template.h"

namespace plat {

struct BmpHeader {
    std::uint32_t infoSize = 0;  // 12: the old core header
    std::uint32_t pixelOffset = 0;
    int width = 0;   // 1..0x7FFF
    int height = 0;  // 1..0x7FFF, whichever way the rows run
    bool topDown = false;
    // Read only from an info header of 40 bytes or more; 0 otherwise.
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
};

// False for anything that is no BMP file image, is too short for its own
// header, or has a size outside 1..0x7FFF either way.
bool ReadBmpHeader(const ResourceBytes& bmp, BmpHeader* header);

}  // namespace plat
