// Minimal readers for the committed resource images, strict about the fields
// the dialog's loader relies on. Each reports what it found so a failing test
// can print actual against expected.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace art_test {

struct Rgb {
    std::uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

struct Bitmap {
    std::uint32_t header_size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive: rows stored bottom-up
    std::uint16_t planes = 0;
    std::uint16_t bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    std::uint32_t pixel_offset = 0;
    std::vector<Rgb> pixels;  // top row first
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct IconImage {
    int dir_width = 0;  // from the directory entry (0 means 256)
    int dir_height = 0;
    int dir_bits = 0;
    Bitmap dib;  // height is the colour image's, not the doubled field
    std::int32_t dib_height_field = 0;
    bool mask_all_opaque = false;
};

std::string SourcePath(const std::string& relative);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
// Empty string on success, else what was wrong.
std::string ParseBmpFile(const std::vector<std::uint8_t>& bytes, Bitmap& out);
std::string ParseIcoFile(const std::vector<std::uint8_t>& bytes, std::vector<IconImage>& out);

}  // namespace art_test
