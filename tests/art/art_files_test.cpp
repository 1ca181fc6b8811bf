// The committed step pictures and icon, read as the resource compiler and the
// dialog will read them: format, sizes, where the plate lies, the arrows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "art_image.h"

namespace art_test {
namespace {

constexpr int kPlateW = 175;
constexpr int kPlateH = 204;
const Rgb kWhite{255, 255, 255};
const Rgb kRed{255, 0, 0};

struct StepFile {
    const char* name;
    int width, height;
    int plate_left, plate_top;  // the margin the tilted grip needs
    int dir_x, dir_y;           // arrow direction, y down; 0, 0 for none
};

const StepFile kSteps[] = {
    {"step1.bmp", 175, 204, 0, 0, 0, 0},   {"step2.bmp", 175, 218, 0, 14, 0, -1},
    {"step3.bmp", 181, 204, 0, 0, 1, 0},   {"step4.bmp", 175, 204, 0, 0, 0, 1},
    {"step5.bmp", 196, 204, 21, 0, -1, 0},
};

Bitmap Load(const StepFile& f) {
    Bitmap bmp;
    std::string err = ParseBmpFile(ReadBytes(SourcePath(std::string("ui/res/") + f.name)), bmp);
    EXPECT_EQ(err, "") << f.name;
    return bmp;
}

std::string Show(Rgb c) {
    char text[24];
    std::snprintf(text, sizeof text, "(%u,%u,%u)", unsigned{c.r}, unsigned{c.g}, unsigned{c.b});
    return text;
}

bool IsGrey(Rgb c) {
    return c.r == c.g && c.g == c.b;
}

TEST(StepPictures, AreUncompressed24BitBottomUpWithoutPaletteAtTheirSizes) {
    for (const StepFile& f : kSteps) {
        SCOPED_TRACE(f.name);
        Bitmap bmp = Load(f);
        EXPECT_EQ(bmp.bits, 24);
        EXPECT_EQ(bmp.planes, 1);
        EXPECT_EQ(bmp.compression, 0u);
        EXPECT_EQ(bmp.colours_used, 0u);
        EXPECT_EQ(bmp.pixel_offset, 54u) << "a palette or gap sits before the pixels";
        EXPECT_EQ(bmp.width, f.width);
        EXPECT_EQ(bmp.height, f.height);
    }
}

TEST(StepPictures, MarginsAndPlateCornersAreWhite) {
    for (const StepFile& f : kSteps) {
        SCOPED_TRACE(f.name);
        Bitmap bmp = Load(f);
        if (bmp.pixels.empty()) continue;
        const int l = f.plate_left, t = f.plate_top, r = l + kPlateW - 1, b = t + kPlateH - 1;
        // Outside the rounded corners of the plate.
        const int corners[][2] = {{l, t}, {r, t}, {l, b}, {r, b}};
        for (const auto& c : corners) {
            for (int dx = 0; dx < 2; ++dx) {
                for (int dy = 0; dy < 2 - dx; ++dy) {
                    int x = c[0] == l ? c[0] + dx : c[0] - dx;
                    int y = c[1] == t ? c[1] + dy : c[1] - dy;
                    EXPECT_EQ(bmp.At(x, y), kWhite)
                        << "corner pixel " << x << "," << y << " is " << Show(bmp.At(x, y));
                }
            }
        }
        // The margin is white; only the grip may reach into it, mid-side,
        // and never up to the bitmap's edge.
        for (int y = 0; y < bmp.height; ++y) {
            for (int x = 0; x < bmp.width; ++x) {
                const bool in_plate = x >= l && x <= r && y >= t && y <= b;
                if (in_plate) continue;
                const bool outer_edge = x == 0 || y == 0 || x == bmp.width - 1;
                const bool near_plate_end =
                    (y < t && (x < l + 45 || x > r - 45)) || (y >= t && (y < t + 45 || y > b - 45));
                if (outer_edge || near_plate_end) {
                    ASSERT_EQ(bmp.At(x, y), kWhite) << "margin pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST(StepPictures, PlateOutlineLiesWhereTheMarginsPutIt) {
    // Points along each side, clear of the corners and of where a tilted grip
    // crosses the edge.
    const int along_x[] = {22, 40, 134, 152};
    const int along_y[] = {24, 50, 154, 180};
    for (const StepFile& f : kSteps) {
        SCOPED_TRACE(f.name);
        Bitmap bmp = Load(f);
        if (bmp.pixels.empty()) continue;
        const int l = f.plate_left, t = f.plate_top, r = l + kPlateW - 1, b = t + kPlateH - 1;
        auto expect_edge = [&](int x, int y, int out_x, int out_y) {
            Rgb edge = bmp.At(x, y);
            EXPECT_TRUE(IsGrey(edge) && edge.r < 190)
                << "plate edge " << x << "," << y << " is " << Show(edge);
            // Just inside the edge the plate is light again: a thin line.
            Rgb inside = bmp.At(x + (x == l) - (x == r), y + (y == t) - (y == b));
            EXPECT_GT(inside.r, 200) << "inside " << x << "," << y;
            if (out_x >= 0 && out_y >= 0 && out_x < bmp.width && out_y < bmp.height) {
                EXPECT_EQ(bmp.At(out_x, out_y), kWhite)
                    << "beyond the edge " << out_x << "," << out_y;
            }
        };
        for (int dx : along_x) {
            expect_edge(l + dx, t, l + dx, t - 1);
            expect_edge(l + dx, b, l + dx, b + 1);
        }
        for (int dy : along_y) {
            expect_edge(l, t + dy, l - 1, t + dy);
            expect_edge(r, t + dy, r + 1, t + dy);
        }
    }
}

TEST(StepPictures, OnlyTheArrowPicturesHaveRedAndItPointsTheStepsWay) {
    for (const StepFile& f : kSteps) {
        SCOPED_TRACE(f.name);
        Bitmap bmp = Load(f);
        if (bmp.pixels.empty()) continue;
        double sx = 0, sy = 0;
        int red = 0, off_grey = 0;
        for (int y = 0; y < bmp.height; ++y) {
            for (int x = 0; x < bmp.width; ++x) {
                Rgb c = bmp.At(x, y);
                if (c == kRed) {
                    ++red;
                    sx += x;
                    sy += y;
                }
                // Greys, and the arrow's red blended into its grey rim.
                if (!IsGrey(c)) {
                    ++off_grey;
                    EXPECT_TRUE(c.g == c.b && c.r > c.g) << x << "," << y << " is " << Show(c);
                }
            }
        }
        if (f.dir_x == 0 && f.dir_y == 0) {
            EXPECT_EQ(off_grey, 0) << "the upright picture has no arrow";
            continue;
        }
        // The shaft alone is 4 red pixels wide and some 20 long.
        EXPECT_GT(red, 80);
        if (red == 0) continue;
        const double cx = f.plate_left + (kPlateW - 1) / 2.0,
                     cy = f.plate_top + (kPlateH - 1) / 2.0;
        const double ahead = (sx / red - cx) * f.dir_x + (sy / red - cy) * f.dir_y;
        const double aside = (sx / red - cx) * f.dir_y - (sy / red - cy) * f.dir_x;
        EXPECT_GT(ahead, 2.0) << "red centroid lies " << ahead << " px along the step's direction";
        EXPECT_LT(ahead, 20.0) << "the arrow sits over the plate centre";
        EXPECT_LT(std::fabs(aside), 1.0) << "red centroid lies " << aside << " px to the side";
    }
}

TEST(Icon, HoldsFourOpaque24BitImagesFromLargeToSmall) {
    std::vector<IconImage> images;
    std::string err =
        ParseIcoFile(ReadBytes(SourcePath("ui/res/Kx9JoystickCalibration.ico")), images);
    ASSERT_EQ(err, "");
    const int sizes[] = {64, 48, 32, 16};
    ASSERT_EQ(images.size(), 4u);
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& img = images[i];
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(img.dir_width, sizes[i]);
        EXPECT_EQ(img.dir_height, sizes[i]);
        EXPECT_EQ(img.dir_bits, 24);
        EXPECT_EQ(img.dib.width, sizes[i]);
        EXPECT_EQ(img.dib_height_field, 2 * sizes[i]) << "colour rows plus mask rows";
        EXPECT_EQ(img.dib.planes, 1);
        EXPECT_EQ(img.dib.compression, 0u);
        EXPECT_TRUE(img.mask_all_opaque);
        // White ground, a near-black base and the red button on top.
        int dark = 0, red = 0;
        for (Rgb c : img.dib.pixels) {
            if (c.r < 40 && c.g < 40 && c.b < 40) ++dark;
            if (c.r > 150 && c.g < 90 && c.b < 90) ++red;
        }
        EXPECT_EQ(img.dib.At(sizes[i] - 1, 0), kWhite);
        EXPECT_GT(dark, sizes[i] * sizes[i] / 16);
        EXPECT_GT(red, 0);
    }
}

}  // namespace
}  // namespace art_test
