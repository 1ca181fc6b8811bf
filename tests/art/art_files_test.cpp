// The committed step pictures and icon, read as the resource compiler and the
// dialog will read them: format, sizes, where the plate lies, the arrows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "tests/art/art_bytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<int, 3>;
const Rgb kWhite{255, 255, 255};

std::uint32_t U32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) return 0xFFFFFFFF;
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
    std::size_t end = 0;      // just past the colour rows in the file
    Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The uncompressed 24-bit image whose 40-byte header is at `at`, with `rows`
// colour rows stored bottom-up right after the header.
Image Dib(const Bytes& b, std::size_t at, int rows) {
    // Header size; bits per pixel and planes; compression; palette colours.
    EXPECT_EQ(
        std::vector<std::uint32_t>({U32(b, at), U32(b, at + 12), U32(b, at + 16), U32(b, at + 32)}),
        std::vector<std::uint32_t>({40, 24u << 16 | 1, 0, 0}));
    Image img{static_cast<int>(U32(b, at + 4)), rows, {}, 0};
    const std::size_t stride = (static_cast<std::size_t>(img.width) * 3 + 3) / 4 * 4;
    img.end = at + 40 + stride * rows;
    if (img.width <= 0 || img.width > 4096 || rows <= 0 || rows > 4096 || img.end > b.size()) {
        ADD_FAILURE() << "no pixel rows for " << img.width << " x " << rows;
        return {};
    }
    for (int y = rows - 1; y >= 0; --y) {
        for (int x = 0; x < img.width; ++x) {
            const std::size_t p = at + 40 + stride * y + 3 * x;
            img.pixels.push_back({b[p + 2], b[p + 1], b[p]});
        }
    }
    return img;
}

const struct Step {
    const char* file;
    int width, height;
    int left, top;  // where the plate lies: the margin the tilted grip needs
    int dx, dy;     // the arrow's direction, y down; none in the upright picture
} kSteps[] = {
    {"step1.bmp", 175, 204, 0, 0, 0, 0},   {"step2.bmp", 175, 218, 0, 14, 0, -1},
    {"step3.bmp", 181, 204, 0, 0, 1, 0},   {"step4.bmp", 175, 204, 0, 0, 0, 1},
    {"step5.bmp", 196, 204, 21, 0, -1, 0},
};

TEST(StepPictures, FormatSizeMarginsPlateAndArrow) {
    for (const Step& s : kSteps) {
        SCOPED_TRACE(s.file);
        const Bytes b = ReadArtBytes(std::string("ui/res/") + s.file);
        ASSERT_TRUE(b.size() > 54 && b[0] == 'B' && b[1] == 'M');
        EXPECT_EQ(U32(b, 2), b.size()) << "file size field";
        EXPECT_EQ(U32(b, 10), 54u) << "a palette or gap before the pixels";
        const Image img = Dib(b, 14, static_cast<int>(U32(b, 22)));
        EXPECT_EQ(img.end, b.size()) << "pixel rows do not end the file";
        ASSERT_EQ(img.width, s.width);
        ASSERT_EQ(img.height, s.height);

        const bool arrow = s.dx != 0 || s.dy != 0;
        const int l = s.left, t = s.top, r = l + 174, bottom = t + 203;
        double sx = 0, sy = 0;
        int red = 0;
        for (int y = 0; y < img.height; ++y) {
            for (int x = 0; x < img.width; ++x) {
                const Rgb c = img.At(x, y);
                // White outside the plate's rounded corners and in the margins:
                // only the grip may reach into a margin, mid-side, never to the
                // bitmap's edge.
                const int cx = std::min(x - l, r - x), cy = std::min(y - t, bottom - y);
                const bool corner = cx >= 0 && cy >= 0 && cx + cy <= 1;
                const bool bare = x == 0 || y == 0 || x == img.width - 1 || (y < t ? cx : cy) < 45;
                if (corner || ((cx < 0 || cy < 0) && bare)) {
                    ASSERT_EQ(c, kWhite) << "at " << x << "," << y;
                }
                // Greys only, but for the arrow's red and its blend into the rim.
                if (c[0] != c[1] || c[1] != c[2]) {
                    ASSERT_TRUE(arrow && c[1] == c[2] && c[0] > c[1])
                        << x << "," << y << " is " << testing::PrintToString(c);
                }
                if (c == Rgb{255, 0, 0}) sx += x, sy += y, ++red;
            }
        }
        // A thin dark grey outline along each side, clear of the corners and
        // of where a tilted grip crosses it, with white beyond it.
        for (int d : {22, 40, 134, 152}) {
            // A point of the outline and the way into the plate.
            const std::array<int, 4> points[] = {
                {l + d, t, 0, 1}, {l + d, bottom, 0, -1}, {l, t + d, 1, 0}, {r, t + d, -1, 0}};
            for (const auto& [x, y, ix, iy] : points) {
                const Rgb c = img.At(x, y);
                EXPECT_TRUE(c[0] == c[1] && c[1] == c[2] && c[0] < 190)
                    << x << "," << y << " is " << testing::PrintToString(c);
                EXPECT_GT(img.At(x + ix, y + iy)[0], 200) << "inside " << x << "," << y;
                if (x - ix >= 0 && y - iy >= 0 && x - ix < img.width && y - iy < img.height) {
                    EXPECT_EQ(img.At(x - ix, y - iy), kWhite) << "beyond " << x << "," << y;
                }
            }
        }
        // The red lies over the plate's centre, pushed the step's way.
        if (!arrow) continue;
        ASSERT_GT(red, 80) << "the shaft alone is 4 red pixels wide and some 20 long";
        const double ox = sx / red - (l + 87), oy = sy / red - (t + 101.5);
        const double ahead = ox * s.dx + oy * s.dy, aside = ox * s.dy - oy * s.dx;
        EXPECT_GT(ahead, 2.0) << "red centroid lies " << ahead << " px along the step's way";
        EXPECT_LT(ahead, 20.0) << "the arrow sits over the plate centre";
        EXPECT_LT(std::fabs(aside), 1.0) << "red centroid lies " << aside << " px to the side";
    }
}

TEST(Icon, HoldsFourOpaque24BitImagesFromLargeToSmall) {
    const Bytes b = ReadArtBytes("ui/res/Kx9JoystickCalibration.ico");
    ASSERT_GE(b.size(), 6u + 4 * 16);
    EXPECT_EQ(U32(b, 0), 1u << 16) << "not an icon file";
    ASSERT_EQ(U32(b, 4) & 0xFFFF, 4u) << "images";
    for (int i = 0; i < 4; ++i) {
        const int side = 64 - 16 * i;  // from large to small
        SCOPED_TRACE(side);
        const std::size_t entry = 6 + 16 * i, size = U32(b, entry + 8), at = U32(b, entry + 12);
        EXPECT_EQ(U32(b, entry), static_cast<std::uint32_t>(side * 0x101)) << "entry size";
        EXPECT_EQ(U32(b, entry + 4) >> 16, 24u) << "entry bits per pixel";
        ASSERT_LE(at + size, b.size());
        EXPECT_EQ(U32(b, at + 8), 2u * side) << "colour rows plus mask rows";
        const Image img = Dib(b, at, side);
        EXPECT_EQ(img.width, side);
        const std::size_t maskBytes = (side + 31) / 32 * 4 * side;
        ASSERT_EQ(img.end + maskBytes, at + size) << "mask size";
        EXPECT_EQ(std::count(b.begin() + img.end, b.begin() + at + size, 0),
                  static_cast<std::ptrdiff_t>(maskBytes))
            << "transparent pixels in the mask";
    }
}

}  // namespace
