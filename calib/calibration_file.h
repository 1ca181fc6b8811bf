// The calibration text file: statements "Key = value;" with "//" and "/* */"
// comments. The configuration file is read with it at start-up and the
// EEPROM dump is written with it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "calib/calibration_record.h"
#include "calib/replace_file.h"

// Reads the whole stream and applies every complete statement to `record`;
// fields whose keys do not occur keep their values. Takes over the stream and
// always closes it. Returns false only when the stream cannot be read whole
// (it cannot seek, a read fails or falls short, or memory runs out); then the
// record is untouched. Malformed text is never a failure.
bool LoadCalibrationFile(std::FILE* stream, CalibrationRecord& record);

// What LoadCalibrationFile reads: the whole stream, which it closes; false
// on the same failures.
bool ReadCalibrationBytes(std::FILE* stream, std::vector<char>& data);

// The scan behind LoadCalibrationFile, over bytes already in memory: strips
// comments, cuts statements at ';' (or after 511 characters) and parses each;
// a UTF-8 byte-order mark at the very start is skipped.
// `data` need not be terminated; NUL bytes may occur anywhere.
void ApplyCalibrationText(const char* data, std::size_t size, CalibrationRecord& record);

// The same scan, handing each statement (terminated, comments removed) to
// `visit` in order.
void ForEachCalibrationStatement(const char* data, std::size_t size,
                                 const std::function<void(const char*)>& visit);

// Where a statement of that scan stood in the bytes: from `first` (its
// first byte, a comment's included) to `end` (the ';' or the byte dropped
// where it was cut); `cut` when it ended for want of room, not at a ';'.
struct StatementSpan {
    std::size_t first = 0;
    std::size_t end = 0;
    bool cut = false;
};

// How the scan ended: in the text, or in a comment that ran to the end of
// the bytes, opened at `commentAt`.
struct CalibrationScanEnd {
    enum class In { kText, kLineComment, kBlockComment } in = In::kText;
    std::size_t commentAt = 0;
};

CalibrationScanEnd ForEachCalibrationStatementSpan(
    const char* data, std::size_t size,
    const std::function<void(const char*, const StatementSpan&)>& visit);

// The field a terminated statement sets, matched as the reader matches keys
// (blanks dropped, ASCII case ignored); nullptr without '=' or a known key.
const CalibrationField* CalibrationStatementField(const char* statement);

// Applies one terminated statement ("Key = value") to `record`. A key that
// names no field, or a statement without '=', changes nothing.
void ParseCalibrationStatement(const char* statement, CalibrationRecord& record);

// The exact text SaveCalibrationFile writes, with '\n' line ends.
std::string FormatCalibrationFile(const CalibrationRecord& record);

// Writes the record to `path` as text ("wt": CR LF line ends on Windows).
// Returns true only if every byte reached the file. An existing file is
// replaced whole or left as it was, never half-written.
bool SaveCalibrationFile(const char* path, const CalibrationRecord& record);

// Writes the record to a new file `path`, which replaces nothing, and is on
// disk when kWritten comes back (see WriteNewTextFile).
NewFileStatus SaveNewCalibrationFile(const char* path, const CalibrationRecord& record);
