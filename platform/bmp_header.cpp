#include "platform/bmp_header.h"

#include <cstddef>

namespace plat {
namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

bool ReadBmpHeader(const ResourceBytes& bmp, BmpHeader* header) {
    if (bmp.data == nullptr || bmp.size < kFileHeader + kCoreHeader) return false;
    const std::uint8_t* d = bmp.data;
    if (d[0] != 'B' || d[1] != 'M') return false;
    BmpHeader h;
    h.pixelOffset = ReadLe(d + 10, 4);
    h.infoSize = ReadLe(d + kFileHeader, 4);
    std::int64_t w = 0;
    std::int64_t rows = 0;
    if (h.infoSize == kCoreHeader) {  // 16-bit sizes, rows always bottom-up
        w = ReadLe(d + 18, 2);
        rows = ReadLe(d + 20, 2);
    } else if (h.infoSize >= 16 && bmp.size >= kFileHeader + 16) {
        w = static_cast<std::int32_t>(ReadLe(d + 18, 4));
        rows = static_cast<std::int32_t>(ReadLe(d + 22, 4));
        h.topDown = rows < 0;
        if (rows < 0) rows = -rows;  // in 64 bits, so INT32_MIN is only too tall
    } else {
        return false;
    }
    if (w <= 0 || rows <= 0 || w > 0x7FFF || rows > 0x7FFF) return false;
    h.width = static_cast<int>(w);
    h.height = static_cast<int>(rows);
    if (h.infoSize >= kInfoHeader && bmp.size >= kFileHeader + kInfoHeader) {
        h.bitsPerPixel = ReadLe(d + 28, 2);
        h.compression = ReadLe(d + 30, 4);
    }
    *header = h;
    return true;
}

}  // namespace plat
