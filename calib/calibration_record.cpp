#include "calib/calibration_record.h"

const std::array<CalibrationField, kCalibFieldCount> kCalibrationFields = {{
    {"Initial_Pos_X", &CalibrationRecord::Initial_Pos_X, nullptr},
    {"Initial_Pos_Y", &CalibrationRecord::Initial_Pos_Y, nullptr},
    {"Edge_Size", &CalibrationRecord::Edge_Size, nullptr},
    {"Edge_Reduc", nullptr, &CalibrationRecord::Edge_Reduc},
    {"Edge_Shift", nullptr, &CalibrationRecord::Edge_Shift},
    {"Edge_BM", nullptr, &CalibrationRecord::Edge_BM},
    {"MultInit_XN", nullptr, &CalibrationRecord::MultInit_XN},
    {"MultInit_XP", nullptr, &CalibrationRecord::MultInit_XP},
    {"MultInit_YN", nullptr, &CalibrationRecord::MultInit_YN},
    {"MultInit_YP", nullptr, &CalibrationRecord::MultInit_YP},
    {"Center_Area", &CalibrationRecord::Center_Area, nullptr},
    {"Center_Reduc", nullptr, &CalibrationRecord::Center_Reduc},
    {"Center_Shift", nullptr, &CalibrationRecord::Center_Shift},
    {"Center_BM", nullptr, &CalibrationRecord::Center_BM},
}};

void ClearCalibrationRecord(CalibrationRecord& record) {
    record = CalibrationRecord{};
}

namespace {
void Put16(CalibrationBlock& b, int at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t Get16(const CalibrationBlock& b, int at) {
    return static_cast<std::uint16_t>(b[at] + 256 * b[at + 1]);
}
}  // namespace

CalibrationBlock PackCalibrationBlock(const CalibrationRecord& r) {
    CalibrationBlock b{};
    Put16(b, 0, r.Initial_Pos_X);
    Put16(b, 2, r.Initial_Pos_Y);
    Put16(b, 4, r.Edge_Size);
    b[6] = r.Edge_Reduc;
    b[7] = r.Edge_Shift;
    b[8] = r.Edge_BM;
    b[9] = r.MultInit_XN;
    b[10] = r.MultInit_XP;
    b[11] = r.MultInit_YN;
    b[12] = r.MultInit_YP;
    Put16(b, 13, r.Center_Area);
    b[15] = r.Center_Reduc;
    b[16] = r.Center_Shift;
    b[17] = r.Center_BM;
    return b;
}

void UnpackCalibrationBlock(const CalibrationBlock& b, CalibrationRecord& record) {
    // Built aside and assigned whole, so the record never holds a mixture.
    CalibrationRecord r{};
    r.Initial_Pos_X = Get16(b, 0);
    r.Initial_Pos_Y = Get16(b, 2);
    r.Edge_Size = Get16(b, 4);
    r.Edge_Reduc = b[6];
    r.Edge_Shift = b[7];
    r.Edge_BM = b[8];
    r.MultInit_XN = b[9];
    r.MultInit_XP = b[10];
    r.MultInit_YN = b[11];
    r.MultInit_YP = b[12];
    r.Center_Area = Get16(b, 13);
    r.Center_Reduc = b[15];
    r.Center_Shift = b[16];
    r.Center_BM = b[17];
    record = r;
}
