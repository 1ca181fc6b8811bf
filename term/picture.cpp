#include "term/picture.h"

#include <algorithm>

#include "platform/bmp_header.h"

namespace term {

bool DecodeBmp(const plat::ResourceBytes& bmp, Image* image) {
    constexpr std::uint32_t kHeaders = 14 + 40;
    plat::BmpHeader header;
    if (image == nullptr || bmp.size < kHeaders || !plat::ReadBmpHeader(bmp, &header)) {
        return false;
    }
    if (header.infoSize < 40) return false;
    const std::uint32_t bits = header.bitsPerPixel;
    const std::uint32_t compression = header.compression;
    // BI_RGB, or BI_BITFIELDS with the usual 32-bit layout read as BGRA.
    if (compression != 0 && !(compression == 3 && bits == 32)) return false;
    if (bits != 24 && bits != 32) return false;
    const std::uint32_t offset = header.pixelOffset;
    const bool topDown = header.topDown;
    const std::int32_t width = header.width;
    const std::int32_t height = header.height;
    const std::uint8_t* d = bmp.data;

    const std::size_t bytesPerPixel = bits / 8;
    const std::size_t stride =
        (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
    const std::size_t needed =
        static_cast<std::size_t>(offset) + stride * static_cast<std::size_t>(height);
    if (offset < kHeaders || needed > bmp.size) return false;

    Image out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t fileRow = topDown ? y : height - 1 - y;
        const std::uint8_t* row = d + offset + stride * static_cast<std::size_t>(fileRow);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = row + bytesPerPixel * static_cast<std::size_t>(x);
            out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(x)] = Rgb{p[2], p[1], p[0]};
        }
    }
    *image = std::move(out);
    return true;
}

PixelCanvas::PixelCanvas(int width, int height, Rgb background) {
    m_image.width = std::max(width, 0);
    m_image.height = std::max(height, 0);
    m_image.pixels.assign(
        static_cast<std::size_t>(m_image.width) * static_cast<std::size_t>(m_image.height),
        background);
}

void PixelCanvas::Draw(const Image& source, int x, int y, int width, int height) {
    if (source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0) return;
    for (int ty = std::max(0, y); ty < std::min(m_image.height, y + height); ++ty) {
        // The source rows and columns this target pixel covers, in 64ths of
        // a source pixel, so that shrinking averages every pixel it covers.
        const std::int64_t sy0 = std::int64_t{ty - y} * source.height * 64 / height;
        const std::int64_t sy1 = std::int64_t{ty - y + 1} * source.height * 64 / height;
        for (int tx = std::max(0, x); tx < std::min(m_image.width, x + width); ++tx) {
            const std::int64_t sx0 = std::int64_t{tx - x} * source.width * 64 / width;
            const std::int64_t sx1 = std::int64_t{tx - x + 1} * source.width * 64 / width;
            std::uint64_t r = 0, g = 0, b = 0, weight = 0;
            for (std::int64_t py = sy0 / 64; py <= (sy1 - 1) / 64 && py < source.height; ++py) {
                const std::int64_t wy = std::min(sy1, (py + 1) * 64) - std::max(sy0, py * 64);
                if (wy <= 0) continue;
                for (std::int64_t px = sx0 / 64; px <= (sx1 - 1) / 64 && px < source.width; ++px) {
                    const std::int64_t wx = std::min(sx1, (px + 1) * 64) - std::max(sx0, px * 64);
                    if (wx <= 0) continue;
                    const std::uint64_t w = static_cast<std::uint64_t>(wx * wy);
                    const Rgb c = source.At(static_cast<int>(px), static_cast<int>(py));
                    r += c.r * w;
                    g += c.g * w;
                    b += c.b * w;
                    weight += w;
                }
            }
            if (weight == 0) continue;
            m_image.pixels[static_cast<std::size_t>(ty) * static_cast<std::size_t>(m_image.width) +
                           static_cast<std::size_t>(tx)] =
                Rgb{static_cast<std::uint8_t>((r + weight / 2) / weight),
                    static_cast<std::uint8_t>((g + weight / 2) / weight),
                    static_cast<std::uint8_t>((b + weight / 2) / weight)};
        }
    }
}

void PixelCanvas::ToCells(Canvas& canvas, int column, int row) const {
    for (int y = 0; y < m_image.height; y += 2) {
        for (int x = 0; x < m_image.width; ++x) {
            const Rgb top = m_image.At(x, y);
            const Rgb bottom = y + 1 < m_image.height ? m_image.At(x, y + 1) : top;
            canvas.Put(column + x, row + y / 2, "▀", top, bottom);
        }
    }
}

}  // namespace term
