// The five step pictures: the stick on its base plate, seen from above,
// upright for "plug in" and pushed towards each of the four directions.
#pragma once

#include "raster.h"

namespace art {

inline constexpr int kStepCount = 5;
inline constexpr int kPlateWidth = 175;
inline constexpr int kPlateHeight = 204;

struct StepLayout {
    int width;  // bitmap size in pixels
    int height;
    int plate_left;  // where the plate's top-left corner lies in the bitmap
    int plate_top;
    Vec2 direction;  // unit vector the grip is pushed to; zero when upright
    float reach;     // how far the grip's head travels from the pivot
};

// step is 1..5.
StepLayout StepLayoutOf(int step);
Canvas DrawStep(int step);

}  // namespace art
