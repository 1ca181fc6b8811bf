#include <cstdint>
#include <cstdio>

#include "calib/calibration_file.h"
#include "calib/replace_file.h"

namespace {

struct FieldLine {
    const char* format;
    std::uint16_t CalibrationRecord::*wide;
    std::uint8_t CalibrationRecord::*narrow;
};

// The '=' of every line sits in column 15 and the "//" in column 25; the
// comments give each field's EEPROM addresses.
constexpr FieldLine kLines[] = {
    {"Initial_Pos_X = 0x%.4X; // 110..111\n", &CalibrationRecord::Initial_Pos_X, nullptr},
    {"Initial_Pos_Y = 0x%.4X; // 112..113\n\n", &CalibrationRecord::Initial_Pos_Y, nullptr},
    {"Edge_Size     = 0x%.4X; // 114..115\n", &CalibrationRecord::Edge_Size, nullptr},
    {"Edge_Reduc    = 0x%.2X;   // 116\n", nullptr, &CalibrationRecord::Edge_Reduc},
    {"Edge_Shift    = 0x%.2X;   // 117\n", nullptr, &CalibrationRecord::Edge_Shift},
    {"Edge_BM       = 0x%.2X;   // 118\n\n", nullptr, &CalibrationRecord::Edge_BM},
    {"MultInit_XN   = 0x%.2X;   // 119\n", nullptr, &CalibrationRecord::MultInit_XN},
    {"MultInit_XP   = 0x%.2X;   // 120\n", nullptr, &CalibrationRecord::MultInit_XP},
    {"MultInit_YN   = 0x%.2X;   // 121\n", nullptr, &CalibrationRecord::MultInit_YN},
    {"MultInit_YP   = 0x%.2X;   // 122\n\n", nullptr, &CalibrationRecord::MultInit_YP},
    {"Center_Area   = 0x%.4X; // 123..124\n", &CalibrationRecord::Center_Area, nullptr},
    {"Center_Reduc  = 0x%.2X;   // 125\n", nullptr, &CalibrationRecord::Center_Reduc},
    {"Center_Shift  = 0x%.2X;   // 126\n", nullptr, &CalibrationRecord::Center_Shift},
    {"Center_BM     = 0x%.2X;   // 127\n\n", nullptr, &CalibrationRecord::Center_BM},
};

}  // namespace

std::string FormatCalibrationFile(const CalibrationRecord& record) {
    std::string text =
        "/*\n  Zentravo Kx-9 Joystick Calibration Tool - Output/Configuration file.\n*/\n\n\n";
    for (const FieldLine& line : kLines) {
        const unsigned value = line.wide != nullptr ? record.*line.wide : record.*line.narrow;
        char buffer[64];  // the longest line is 38 characters
        const int length = std::snprintf(buffer, sizeof buffer, line.format, value);
        text.append(buffer, static_cast<std::size_t>(length));
    }
    return text;
}

bool SaveCalibrationFile(const char* path, const CalibrationRecord& record) {
    return WriteTextFileReplacing(path, FormatCalibrationFile(record));
}

NewFileStatus SaveNewCalibrationFile(const char* path, const CalibrationRecord& record) {
    return WriteNewTextFile(path, FormatCalibrationFile(record));
}
