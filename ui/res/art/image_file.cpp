#include "image_file.h"

#include <cstdio>
#include <stdexcept>

namespace art {

namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kIconDirSize = 6;
constexpr std::uint32_t kIconEntrySize = 16;
// 96 dots per inch, the screen density the pictures are drawn for.
constexpr std::uint32_t kPixelsPerMetre = 3780;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t RowBytes(int width, int bits) {
    return ((static_cast<std::uint32_t>(width) * bits + 31) / 32) * 4;
}

// The info header and the colour rows; for an icon the height field counts
// the AND mask too and the mask rows follow.
std::vector<std::uint8_t> EncodeDib(const Canvas& image, bool with_mask) {
    const int w = image.Width();
    const int h = image.Height();
    const std::uint32_t colour_row = RowBytes(w, 24);
    const std::uint32_t mask_row = RowBytes(w, 1);
    const std::uint32_t image_size = colour_row * h + (with_mask ? mask_row * h : 0);

    std::vector<std::uint8_t> out;
    out.reserve(kInfoHeaderSize + image_size);
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(w));
    Put32(out, static_cast<std::uint32_t>(with_mask ? 2 * h : h));
    Put16(out, 1);   // planes
    Put16(out, 24);  // bits per pixel
    Put32(out, 0);   // BI_RGB
    Put32(out, image_size);
    Put32(out, with_mask ? 0 : kPixelsPerMetre);
    Put32(out, with_mask ? 0 : kPixelsPerMetre);
    Put32(out, 0);  // colours used: none, there is no palette
    Put32(out, 0);  // important colours

    const std::vector<std::uint8_t> rgb = image.Rgb8();
    for (int y = h - 1; y >= 0; --y) {
        const std::uint8_t* row = &rgb[static_cast<size_t>(y) * w * 3];
        for (int x = 0; x < w; ++x) {
            out.push_back(row[x * 3 + 2]);
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3 + 0]);
        }
        out.insert(out.end(), colour_row - static_cast<std::uint32_t>(w) * 3, 0);
    }
    if (with_mask) out.insert(out.end(), static_cast<size_t>(mask_row) * h, 0);
    return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Canvas& image) {
    std::vector<std::uint8_t> dib = EncodeDib(image, false);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<std::uint32_t>(kFileHeaderSize + dib.size()));
    Put32(out, 0);  // reserved
    Put32(out, kFileHeaderSize + kInfoHeaderSize);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<Canvas>& images) {
    std::vector<std::vector<std::uint8_t>> dibs;
    for (const Canvas& c : images) {
        // The directory stores sizes in one byte, where 0 means 256.
        if (c.Width() < 1 || c.Width() > 256 || c.Height() < 1 || c.Height() > 256) {
            throw std::invalid_argument("icon image size out of range");
        }
        dibs.push_back(EncodeDib(c, true));
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // icon, not cursor
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = kIconDirSize + kIconEntrySize * static_cast<std::uint32_t>(dibs.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(images[i].Width() & 0xFF));
        out.push_back(static_cast<std::uint8_t>(images[i].Height() & 0xFF));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        Put16(out, 1);     // planes
        Put16(out, 24);    // bits per pixel
        Put32(out, static_cast<std::uint32_t>(dibs[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(dibs[i].size());
    }
    for (const auto& dib : dibs) out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace art
