// Pictures in a terminal: a BMP file image decoded to pixels, and pixels
// drawn with half-block characters, each cell showing two pixels one above
// the other (the upper in the foreground colour, the lower in the
// background), so a cell's two pixels come out about square.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dialog_template.h"
#include "term/canvas.h"

namespace term {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // rows top to bottom

    Rgb At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// Uncompressed 24- or 32-bit BMP images, bottom-up or top-down. False for
// anything else, or for a file too short for what its header claims.
bool DecodeBmp(const plat::ResourceBytes& bmp, Image* image);

// A pixel surface to compose pictures on before they become cells.
class PixelCanvas {
  public:
    PixelCanvas(int width, int height, Rgb background);
    int Width() const { return m_image.width; }
    int Height() const { return m_image.height; }
    // `source` scaled to width x height (area average) with its top-left
    // corner at (x, y); clipped at the edges.
    void Draw(const Image& source, int x, int y, int width, int height);
    // Every two pixel rows become one row of half-block cells at (column, row).
    void ToCells(Canvas& canvas, int column, int row) const;
    const Image& Pixels() const { return m_image; }

  private:
    Image m_image;
};

}  // namespace term
