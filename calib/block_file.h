// A calibration block given as a text file to restore or verify: the
// configuration syntax, but held to what a block needs. Every one of the
// fourteen fields must be set, and each to a plain number (decimal or 0x
// hexadecimal) that its field can store, where the dialog's own reader takes
// what it can and leaves the rest.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "calib/calibration_record.h"

// "0x1234" or "0x12", as the dump writes them.
std::string FieldText(const CalibrationField& field, const CalibrationRecord& record);

// Files larger than this are no block files (the dump writes 600 bytes).
inline constexpr std::size_t kMaxBlockFileBytes = 1 << 20;

enum class BlockFileStatus {
    kOk,
    kUnreadable,  // cannot be read at all
    kNotABlock,   // read, but not a whole block
};

// Fills `record` only when the text sets every field with a storable value;
// otherwise a message naming the missing fields or the bad value.
bool ParseBlockText(std::string_view text, CalibrationRecord* record, std::string* error);

// The error text holds the file's name and bytes from it as they are: a
// caller that shows it cleans it first.
BlockFileStatus ReadBlockFile(const std::string& path, CalibrationRecord* record,
                              std::string* error);

// The names of the fields that differ, with both values:
// "Edge_BM: stick 0x07, file 0x08".
std::vector<std::string> DifferingFields(const CalibrationRecord& stick,
                                         const CalibrationRecord& file);
