#include "art_image.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace art_test {

namespace {

std::uint32_t Get16(const std::vector<std::uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}

std::uint32_t Get32(const std::vector<std::uint8_t>& b, size_t at) {
    return Get16(b, at) | (Get16(b, at + 2) << 16);
}

size_t RowBytes(std::int64_t width, int bits) {
    return static_cast<size_t>((width * bits + 31) / 32) * 4;
}

// Parses a BITMAPINFOHEADER and the 24-bit rows after it. `rows` is the
// number of colour rows (half the field for an icon's doubled height).
std::string ParseDib(const std::vector<std::uint8_t>& b, size_t at, size_t end, int rows,
                     size_t pixels_at, Bitmap& out) {
    if (at + 40 > end) return "header runs past the end";
    out.header_size = Get32(b, at);
    out.width = static_cast<std::int32_t>(Get32(b, at + 4));
    out.height = rows;
    out.planes = static_cast<std::uint16_t>(Get16(b, at + 12));
    out.bits = static_cast<std::uint16_t>(Get16(b, at + 14));
    out.compression = Get32(b, at + 16);
    out.colours_used = Get32(b, at + 32);
    if (out.header_size != 40) return "header size " + std::to_string(out.header_size);
    if (out.bits != 24) return "bits per pixel " + std::to_string(out.bits);
    if (out.width <= 0 || out.width > 4096 || rows <= 0 || rows > 4096) return "bad dimensions";
    const size_t row = RowBytes(out.width, 24);
    if (pixels_at + row * rows > end) return "pixel rows run past the end";
    out.pixels.resize(static_cast<size_t>(out.width) * rows);
    for (int y = 0; y < rows; ++y) {
        const size_t src = pixels_at + static_cast<size_t>(rows - 1 - y) * row;
        for (int x = 0; x < out.width; ++x) {
            const size_t p = src + static_cast<size_t>(x) * 3;
            out.pixels[static_cast<size_t>(y) * out.width + x] = {b[p + 2], b[p + 1], b[p]};
        }
    }
    return "";
}

}  // namespace

std::string SourcePath(const std::string& relative) {
    const char* root = std::getenv("KX9_SOURCE_DIR");
    return std::string(root ? root : ".") + "/" + relative;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ParseBmpFile(const std::vector<std::uint8_t>& b, Bitmap& out) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "not a bitmap file";
    if (Get32(b, 2) != b.size()) return "file size field " + std::to_string(Get32(b, 2));
    out.pixel_offset = Get32(b, 10);
    const std::int32_t height = static_cast<std::int32_t>(Get32(b, 22));
    if (height <= 0) return "rows not stored bottom-up";
    std::string err = ParseDib(b, 14, b.size(), height, out.pixel_offset, out);
    if (!err.empty()) return err;
    const size_t image_size = RowBytes(out.width, 24) * static_cast<size_t>(out.height);
    if (out.pixel_offset + image_size != b.size()) return "trailing or missing pixel bytes";
    return "";
}

std::string ParseIcoFile(const std::vector<std::uint8_t>& b, std::vector<IconImage>& out) {
    if (b.size() < 6 || Get16(b, 0) != 0 || Get16(b, 2) != 1) return "not an icon file";
    const size_t count = Get16(b, 4);
    if (6 + 16 * count > b.size()) return "directory runs past the end";
    for (size_t i = 0; i < count; ++i) {
        const size_t e = 6 + 16 * i;
        IconImage img;
        img.dir_width = b[e] == 0 ? 256 : b[e];
        img.dir_height = b[e + 1] == 0 ? 256 : b[e + 1];
        img.dir_bits = static_cast<int>(Get16(b, e + 6));
        const size_t size = Get32(b, e + 8);
        const size_t at = Get32(b, e + 12);
        if (at > b.size() || size > b.size() - at || size < 40) {
            return "image " + std::to_string(i) + " out of file";
        }
        img.dib_height_field = static_cast<std::int32_t>(Get32(b, at + 8));
        const int rows = img.dib_height_field / 2;
        std::string err = ParseDib(b, at, at + size, rows, at + 40, img.dib);
        if (!err.empty()) return "image " + std::to_string(i) + ": " + err;
        const size_t mask_at = at + 40 + RowBytes(img.dib.width, 24) * rows;
        const size_t mask_size = RowBytes(img.dib.width, 1) * rows;
        if (mask_at + mask_size != at + size) return "image " + std::to_string(i) + ": mask size";
        img.mask_all_opaque = true;
        for (size_t k = mask_at; k < mask_at + mask_size; ++k) {
            if (b[k] != 0) img.mask_all_opaque = false;
        }
        out.push_back(std::move(img));
    }
    return "";
}

}  // namespace art_test
