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

// The fields by their keys in the text file, in block order, each with its
// offset in the block; its width is that of the member it names. Exactly one
// of `wide` and `narrow` is set. Pack, unpack, the text reader and the text
// writer all loop over this one table.
struct CalibrationField {
    const char* name;
    int offset;
    std::uint16_t CalibrationRecord::*wide;
    std::uint8_t CalibrationRecord::*narrow;
    // The text file leaves a blank line after the last field of a group.
    bool endsGroup;

    constexpr int Width() const { return wide != nullptr ? 2 : 1; }
    constexpr unsigned Max() const { return wide != nullptr ? 0xFFFFu : 0xFFu; }
    unsigned Value(const CalibrationRecord& record) const {
        return wide != nullptr ? unsigned{record.*wide} : unsigned{record.*narrow};
    }
    // Only the bits the field holds are kept.
    void Store(CalibrationRecord& record, unsigned value) const {
        if (wide != nullptr) {
            record.*wide = static_cast<std::uint16_t>(value & 0xFFFFu);
        } else {
            record.*narrow = static_cast<std::uint8_t>(value & 0xFFu);
        }
    }
};
inline constexpr std::size_t kCalibFieldCount = 14;
inline constexpr std::array<CalibrationField, kCalibFieldCount> kCalibrationFields = {{
    {"Initial_Pos_X", 0, &CalibrationRecord::Initial_Pos_X, nullptr, false},
    {"Initial_Pos_Y", 2, &CalibrationRecord::Initial_Pos_Y, nullptr, true},
    {"Edge_Size", 4, &CalibrationRecord::Edge_Size, nullptr, false},
    {"Edge_Reduc", 6, nullptr, &CalibrationRecord::Edge_Reduc, false},
    {"Edge_Shift", 7, nullptr, &CalibrationRecord::Edge_Shift, false},
    {"Edge_BM", 8, nullptr, &CalibrationRecord::Edge_BM, true},
    {"MultInit_XN", 9, nullptr, &CalibrationRecord::MultInit_XN, false},
    {"MultInit_XP", 10, nullptr, &CalibrationRecord::MultInit_XP, false},
    {"MultInit_YN", 11, nullptr, &CalibrationRecord::MultInit_YN, false},
    {"MultInit_YP", 12, nullptr, &CalibrationRecord::MultInit_YP, true},
    {"Center_Area", 13, &CalibrationRecord::Center_Area, nullptr, false},
    {"Center_Reduc", 15, nullptr, &CalibrationRecord::Center_Reduc, false},
    {"Center_Shift", 16, nullptr, &CalibrationRecord::Center_Shift, false},
    {"Center_BM", 17, nullptr, &CalibrationRecord::Center_BM, true},
}};

void ClearCalibrationRecord(CalibrationRecord& record);
CalibrationBlock PackCalibrationBlock(const CalibrationRecord& record);
// Overwrites all fourteen fields at once.
void UnpackCalibrationBlock(const CalibrationBlock& block, CalibrationRecord& record);
