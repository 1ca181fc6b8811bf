// The gain arithmetic at the edges the step gates allow, and past them.
#include <gtest/gtest.h>

#include "ui/calibration_math.h"

namespace {

// Distances measured from a centre of 0x8000 towards the small values.
std::uint8_t GainAt(int distance) {
    return DirectionGain(static_cast<std::uint16_t>(0x8000 - distance), 0x8000);
}

}  // namespace

TEST(CalibrationMath, GainsAtTheEdgesAndNoDivisionAtOrBelowTheOffset) {
    EXPECT_EQ(GainAt(32768), 129);
    EXPECT_EQ(DirectionGain(0x0000, 0x8400), 125) << "33792, the largest the gates allow";
    EXPECT_EQ(GainAt(16545), 255);
    for (int d = 16481; d <= 16544; ++d) EXPECT_EQ(GainAt(d), 0) << d;  // 256 wraps to 0
    EXPECT_EQ(GainAt(16480), 1);
    EXPECT_EQ(GainAt(15360), 19) << "the smallest the gates allow: 275 keeps 0x13";
    // Direction does not matter, only the distance.
    EXPECT_EQ(DirectionGain(0x8000 + 20000, 0x8000), GainAt(20000));
    // At or below the offset nothing is divided.
    for (int d : {0, 1, 95, 96}) EXPECT_EQ(GainAt(d), 0xFF) << d;
    EXPECT_EQ(GainAt(97), static_cast<std::uint8_t>(4194304 + 1));
}
