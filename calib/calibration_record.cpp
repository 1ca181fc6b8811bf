#include "calib/calibration_record.h"

namespace {

// The fields tile the block: each starts where the one before it ends, and
// the last ends with the block.
constexpr bool FieldsTileTheBlock() {
    int next = 0;
    for (const CalibrationField& field : kCalibrationFields) {
        if (field.offset != next) return false;
        next += field.Width();
    }
    return next == kCalibBlockSize;
}
static_assert(FieldsTileTheBlock());

}  // namespace

void ClearCalibrationRecord(CalibrationRecord& record) {
    record = CalibrationRecord{};
}

// Multi-byte fields are little-endian.
CalibrationBlock PackCalibrationBlock(const CalibrationRecord& r) {
    CalibrationBlock b{};
    for (const CalibrationField& field : kCalibrationFields) {
        const unsigned value = field.Value(r);
        for (int i = 0; i < field.Width(); ++i) {
            b[static_cast<std::size_t>(field.offset + i)] =
                static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFu);
        }
    }
    return b;
}

void UnpackCalibrationBlock(const CalibrationBlock& b, CalibrationRecord& record) {
    // Built aside and assigned whole, so the record never holds a mixture.
    CalibrationRecord r{};
    for (const CalibrationField& field : kCalibrationFields) {
        unsigned value = 0;
        for (int i = 0; i < field.Width(); ++i) {
            value |= unsigned{b[static_cast<std::size_t>(field.offset + i)]} << (8 * i);
        }
        field.Store(r, value);
    }
    record = r;
}
