#include "calib/block_file.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "calib/calibration_file.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A plain decimal or 0x number, where the dialog's reader would take the
// digits of anything; values past 32 bits stay past any field.
bool ParsePlainNumber(std::string_view text, std::uint64_t* value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) return false;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFu) v = 0x100000000u;
    }
    *value = v;
    return true;
}

}  // namespace

std::string FieldText(const CalibrationField& field, const CalibrationRecord& record) {
    char buf[16];
    std::snprintf(buf, sizeof buf, field.wide != nullptr ? "0x%04X" : "0x%02X",
                  field.Value(record));
    return buf;
}

bool ParseBlockText(std::string_view text, CalibrationRecord* record, std::string* error) {
    std::array<bool, kCalibFieldCount> set{};
    CalibrationRecord parsed{};
    std::string problem;
    // The configuration file's own scan, so a block file means what the
    // dialog would read from it.
    ForEachCalibrationStatement(text.data(), text.size(), [&](const char* statement) {
        const CalibrationField* field = CalibrationStatementField(statement);
        if (field == nullptr || !problem.empty()) return;
        const std::string_view value = Trim(std::strchr(statement, '=') + 1);
        std::uint64_t number = 0;
        const bool wide = field->wide != nullptr;
        if (!ParsePlainNumber(value, &number)) {
            problem = std::string(field->name) + " = " + std::string(value) + " is not a number";
        } else if (number > (wide ? 0xFFFFu : 0xFFu)) {
            problem = std::string(field->name) + " = " + std::string(value) +
                      (wide ? " does not fit in 16 bits (0xFFFF at most)"
                            : " does not fit in a byte (0xFF at most)");
        } else {
            ParseCalibrationStatement(statement, parsed);
            set[static_cast<std::size_t>(field - kCalibrationFields.data())] = true;
        }
    });
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    std::string missing;
    for (std::size_t f = 0; f < kCalibFieldCount; ++f) {
        if (!set[f]) {
            missing += (missing.empty() ? "" : ", ") + std::string(kCalibrationFields[f].name);
        }
    }
    if (!missing.empty()) {
        *error = "does not set " + missing;
        return false;
    }
    *record = parsed;
    return true;
}

BlockFileStatus ReadBlockFile(const std::string& path, CalibrationRecord* record,
                              std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read " + path;
        return BlockFileStatus::kUnreadable;
    }
    std::string text;
    char chunk[4096];
    bool failed = false;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        text.append(chunk, n);
        if (text.size() > kMaxBlockFileBytes) break;
        if (n < sizeof chunk) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    if (failed) {
        *error = "cannot read " + path;
        return BlockFileStatus::kUnreadable;
    }
    if (text.size() > kMaxBlockFileBytes) {
        *error = path + " is too large for a block file";
        return BlockFileStatus::kNotABlock;
    }
    std::string why;
    if (!ParseBlockText(text, record, &why)) {
        *error = path + ": " + why;
        return BlockFileStatus::kNotABlock;
    }
    return BlockFileStatus::kOk;
}

std::vector<std::string> DifferingFields(const CalibrationRecord& stick,
                                         const CalibrationRecord& file) {
    std::vector<std::string> lines;
    for (const CalibrationField& field : kCalibrationFields) {
        if (field.Value(stick) == field.Value(file)) continue;
        lines.push_back(std::string(field.name) + ": stick " + FieldText(field, stick) + ", file " +
                        FieldText(field, file));
    }
    return lines;
}
