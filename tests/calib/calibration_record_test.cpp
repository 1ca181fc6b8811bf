#include <gtest/gtest.h>

#include <random>

#include "calib/calibration_record.h"
#include "tests/calib/record_printer.h"

namespace {

CalibrationBlock IndexBytes() {
    CalibrationBlock b{};
    for (int i = 0; i < kCalibBlockSize; ++i) b[i] = static_cast<std::uint8_t>(i);
    return b;
}

TEST(CalibrationBlock, LayoutExamples) {
    CalibrationRecord r{};
    ClearCalibrationRecord(r);
    EXPECT_EQ(PackCalibrationBlock(r), CalibrationBlock{});

    r.Initial_Pos_X = 0x4000;
    r.Center_Area = 0x0123;
    const CalibrationBlock packed = PackCalibrationBlock(r);
    EXPECT_EQ(packed[0], 0x00);
    EXPECT_EQ(packed[1], 0x40);
    EXPECT_EQ(packed[13], 0x23);
    EXPECT_EQ(packed[14], 0x01);

    CalibrationBlock ones;
    ones.fill(0xFF);
    UnpackCalibrationBlock(ones, r);
    EXPECT_EQ(r, (CalibrationRecord{0xFFFF, 0xFFFF, 0xFFFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFFFF, 0xFF, 0xFF, 0xFF}));

    UnpackCalibrationBlock(IndexBytes(), r);
    EXPECT_EQ(r, (CalibrationRecord{0x0100, 0x0302, 0x0504, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                    0x0C, 0x0E0D, 0x0F, 0x10, 0x11}));
    EXPECT_EQ(PackCalibrationBlock(r), IndexBytes());
}

TEST(CalibrationBlock, AnyBytesAndAnyRecordSurviveTheRoundTrip) {
    std::mt19937 random(20240611);
    for (int trial = 0; trial < 2000; ++trial) {
        CalibrationBlock bytes;
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        CalibrationRecord r{};
        UnpackCalibrationBlock(bytes, r);
        ASSERT_EQ(PackCalibrationBlock(r), bytes) << "trial " << trial;

        const CalibrationRecord original = RandomRecord(random);
        CalibrationRecord back{};
        UnpackCalibrationBlock(PackCalibrationBlock(original), back);
        ASSERT_EQ(back, original) << "trial " << trial;
    }
}

}  // namespace
