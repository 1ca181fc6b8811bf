// The fourteen calibration parameters in memory, and their 18-byte image in
// the stick's EEPROM at addresses 110..127 (multi-byte fields little-endian).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct CalibrationRecord {
    std::uint16_t Initial_Pos_X;
    std::uint16_t Initial_Pos_Y;
    std::uint16_t Edge_Size;
    std::uint8_t Edge_Reduc;
    std::uint8_t Edge_Shift;
    std::uint8_t Edge_BM;
    std::uint8_t MultInit_XN;
    std::uint8_t MultInit_XP;
    std::uint8_t MultInit_YN;
    std::uint8_t MultInit_YP;
    std::uint16_t Center_Area;
    std::uint8_t Center_Reduc;
    std::uint8_t Center_Shift;
    std::uint8_t Center_BM;

    bool operator==(const CalibrationRecord&) const = default;
};

inline constexpr int kCalibEepromBase = 110;
inline constexpr int kCalibBlockSize = 18;

using CalibrationBlock = std::array<std::uint8_t, kCalibBlockSize>;

// The fields by their keys in the text file, in block order. Exactly one of
// `wide` and `narrow` is set.
struct CalibrationField {
    const char* name;
    std::uint16_t CalibrationRecord::*wide;
    std::uint8_t CalibrationRecord::*narrow;

    unsigned Value(const CalibrationRecord& record) const {
        return wide != nullptr ? unsigned{record.*wide} : unsigned{record.*narrow};
    }
};
inline constexpr std::size_t kCalibFieldCount = 14;
extern const std::array<CalibrationField, kCalibFieldCount> kCalibrationFields;

void ClearCalibrationRecord(CalibrationRecord& record);
CalibrationBlock PackCalibrationBlock(const CalibrationRecord& record);
// Overwrites all fourteen fields at once.
void UnpackCalibrationBlock(const CalibrationBlock& block, CalibrationRecord& record);
