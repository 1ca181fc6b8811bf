// Writers for the two resource image formats the dialog loads: a plain 24-bit
// bitmap file and an icon file holding several 24-bit images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.h"

namespace art {

// BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits, no palette, no compression,
// rows bottom-up and padded to four bytes.
std::vector<std::uint8_t> EncodeBmp(const Canvas& image);

// One directory entry per image, each a 24-bit DIB of doubled height followed
// by a 1-bit AND mask of all zeros, so every pixel is opaque.
std::vector<std::uint8_t> EncodeIco(const std::vector<Canvas>& images);

// Writes the bytes to `path`; false if the file could not be written whole.
bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace art
