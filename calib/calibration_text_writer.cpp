#include <cstdint>
#include <cstdio>

#include "calib/calibration_file.h"
#include "calib/replace_file.h"

std::string FormatCalibrationFile(const CalibrationRecord& record) {
    std::string text =
        "/*\n  Zentravo Kx-9 Joystick Calibration Tool - Output/Configuration file.\n*/\n\n\n";
    // The '=' of every line sits in column 15 and the "//" in column 25; the
    // comments give each field's EEPROM addresses.
    for (const CalibrationField& field : kCalibrationFields) {
        const int first = kCalibEepromBase + field.offset;
        char buffer[64];  // the longest line is 38 characters
        const int length =
            field.Width() == 2
                ? std::snprintf(buffer, sizeof buffer, "%-13s = 0x%.4X; // %d..%d\n%s", field.name,
                                field.Value(record), first, first + 1, field.endsGroup ? "\n" : "")
                : std::snprintf(buffer, sizeof buffer, "%-13s = 0x%.2X;   // %d\n%s", field.name,
                                field.Value(record), first, field.endsGroup ? "\n" : "");
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
