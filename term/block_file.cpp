#include "term/block_file.h"

#include <cstdint>
#include <cstdio>

#include "calib/calibration_file.h"
#include "term/clean_text.h"

namespace term {
namespace {

// As the dialog's reader cuts them: a ';' ends a statement, and so does a
// full buffer of this many characters.
constexpr std::size_t kStatementCapacity = 511;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

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

// A plain decimal or 0x number; values past 32 bits stay past any field.
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

// The statements of the text, comments removed, as the dialog's reader
// sees them.
std::vector<std::string> Statements(std::string_view data) {
    std::vector<std::string> statements;
    std::string statement;
    bool inLineComment = false;
    bool inBlockComment = false;
    std::size_t i = 0;
    while (i < data.size()) {
        const char c = data[i];
        const char next = i + 1 < data.size() ? data[i + 1] : '\0';
        if (inLineComment) {
            if (c == '\n') inLineComment = false;
            ++i;
        } else if (inBlockComment) {
            if (c == '*' && next == '/') {
                inBlockComment = false;
                i += 2;
            } else {
                ++i;
            }
        } else if (c == '/' && next == '/') {
            inLineComment = true;
            i += 2;
        } else if (c == '/' && next == '*') {
            inBlockComment = true;
            i += 2;
        } else {
            if (c == ';' || statement.size() == kStatementCapacity) {
                statements.push_back(statement);
                statement.clear();
            } else {
                statement += c;
            }
            ++i;
        }
    }
    return statements;
}

}  // namespace

const std::vector<BlockField>& BlockFields() {
    static const std::vector<BlockField> fields = {
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
    };
    return fields;
}

unsigned FieldValue(const BlockField& field, const CalibrationRecord& record) {
    return field.wide != nullptr ? record.*field.wide : record.*field.narrow;
}

std::string FieldText(const BlockField& field, const CalibrationRecord& record) {
    char buf[16];
    std::snprintf(buf, sizeof buf, field.wide != nullptr ? "0x%04X" : "0x%02X",
                  FieldValue(field, record));
    return buf;
}

bool ParseBlockText(std::string_view text, CalibrationRecord* record, std::string* error) {
    const std::vector<BlockField>& fields = BlockFields();
    std::vector<bool> set(fields.size(), false);
    CalibrationRecord parsed{};
    for (const std::string& statement : Statements(text)) {
        const std::size_t equals = statement.find('=');
        if (equals == std::string::npos) continue;
        std::string key;
        for (std::size_t i = 0; i < equals; ++i) {
            if (!IsBlank(statement[i])) key += statement[i];
        }
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (!SameKey(key, fields[f].name)) continue;
            const std::string_view value = Trim(std::string_view(statement).substr(equals + 1));
            std::uint64_t number = 0;
            if (!ParsePlainNumber(value, &number)) {
                *error =
                    std::string(fields[f].name) + " = " + CleanText(value) + " is not a number";
                return false;
            }
            const bool wide = fields[f].wide != nullptr;
            if (number > (wide ? 0xFFFFu : 0xFFu)) {
                *error = std::string(fields[f].name) + " = " + CleanText(value) +
                         (wide ? " does not fit in 16 bits (0xFFFF at most)"
                               : " does not fit in a byte (0xFF at most)");
                return false;
            }
            // The shared reader stores it, so a block file means what the
            // configuration file means.
            ParseCalibrationStatement(statement.c_str(), parsed);
            set[f] = true;
            break;
        }
    }
    std::string missing;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (!set[f]) missing += (missing.empty() ? "" : ", ") + std::string(fields[f].name);
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
        *error = "cannot read " + CleanText(path);
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
        *error = "cannot read " + CleanText(path);
        return BlockFileStatus::kUnreadable;
    }
    if (text.size() > kMaxBlockFileBytes) {
        *error = CleanText(path) + " is too large for a block file";
        return BlockFileStatus::kNotABlock;
    }
    std::string why;
    if (!ParseBlockText(text, record, &why)) {
        *error = CleanText(path) + ": " + why;
        return BlockFileStatus::kNotABlock;
    }
    return BlockFileStatus::kOk;
}

std::vector<std::string> DifferingFields(const CalibrationRecord& stick,
                                         const CalibrationRecord& file) {
    std::vector<std::string> lines;
    for (const BlockField& field : BlockFields()) {
        if (FieldValue(field, stick) == FieldValue(field, file)) continue;
        lines.push_back(std::string(field.name) + ": stick " + FieldText(field, stick) + ", file " +
                        FieldText(field, file));
    }
    return lines;
}

}  // namespace term
