#include "calib/block_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "calib/calibration_file.h"
#include "calib/plain_number.h"

namespace {

// The dialog's reader cuts a statement after this many characters.
constexpr std::size_t kMaxStatementLength = 511;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Lines end in LF, CR LF or CR alone, as an editor shows them.
std::size_t LineOf(std::string_view text, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
        }
    }
    return line;
}

std::string At(std::string_view text, std::size_t offset) {
    return "line " + std::to_string(LineOf(text, offset)) + ": ";
}

// " in Edge_BM" when the byte at `offset` stands in a statement that sets a
// field, as far as the text before the byte tells.
std::string InField(std::string_view text, std::size_t offset) {
    // The statement the byte belongs to is the one still open at it.
    std::string open;
    ForEachCalibrationStatementSpan(
        text.data(), text.size(), [&](const char* statement, const StatementSpan& span) {
            if (span.first <= offset && offset <= span.end && open.empty()) {
                const CalibrationField* field = CalibrationStatementField(statement);
                open = field != nullptr ? field->name : "";
            }
        });
    return open.empty() ? std::string() : " in " + open;
}

}  // namespace

std::string FieldText(const CalibrationField& field, const CalibrationRecord& record) {
    char buf[16];
    std::snprintf(buf, sizeof buf, field.Width() == 2 ? "0x%04X" : "0x%02X", field.Value(record));
    return buf;
}

bool ParseBlockText(std::string_view text, CalibrationRecord* record, std::string* error) {
    // Bytes the dialog's reader would take silently, or take apart, are
    // refused: a block file means exactly one block.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) {
            char what[48];
            std::snprintf(what, sizeof what, "a control byte 0x%02X", c);
            *error = At(text, i) + what + InField(text, i);
            return false;
        }
    }
    std::array<std::size_t, kCalibFieldCount> setAt{};  // 0: not set, else the offset + 1
    CalibrationRecord parsed{};
    std::string problem;
    const CalibrationScanEnd scanEnd = ForEachCalibrationStatementSpan(
        text.data(), text.size(), [&](const char* statement, const StatementSpan& span) {
            const CalibrationField* field = CalibrationStatementField(statement);
            if (!problem.empty()) return;
            const std::string name = field != nullptr ? field->name : "a statement";
            if (span.cut) {
                problem = At(text, span.end) + "the statement of " + name +
                          " is longer than the dialog's reader takes (" +
                          std::to_string(kMaxStatementLength) + " characters)";
                return;
            }
            if (field == nullptr) return;
            const auto f = static_cast<std::size_t>(field - kCalibrationFields.data());
            if (setAt[f] != 0) {
                problem = At(text, span.end) + name + " is set a second time (first on line " +
                          std::to_string(LineOf(text, setAt[f] - 1)) + ")";
                return;
            }
            const std::string_view value = Trim(std::strchr(statement, '=') + 1);
            std::uint64_t number = 0;
            const NumberRead read =
                ReadPlainNumber(value, NumberForm::kDecimalOrHex, field->Max(), &number);
            if (read == NumberRead::kNotANumber) {
                problem =
                    At(text, span.end) + name + " = " + std::string(value) + " is not a number";
            } else if (read == NumberRead::kTooLarge) {
                problem = At(text, span.end) + name + " = " + std::string(value) +
                          (field->Width() == 2 ? " does not fit in 16 bits (0xFFFF at most)"
                                               : " does not fit in a byte (0xFF at most)");
            } else {
                ParseCalibrationStatement(statement, parsed);
                setAt[f] = span.end + 1;
            }
        });
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    std::string missing;
    for (std::size_t f = 0; f < kCalibFieldCount; ++f) {
        if (setAt[f] == 0) {
            missing += (missing.empty() ? "" : ", ") + std::string(kCalibrationFields[f].name);
        }
    }
    // A comment that never ends takes every statement after it.
    std::string swallowed;
    using In = CalibrationScanEnd::In;
    const std::string_view rest = text.substr(std::min(scanEnd.commentAt, text.size()));
    if (scanEnd.in == In::kBlockComment) {
        swallowed = At(text, scanEnd.commentAt) +
                    "the /* comment is never closed: it takes the "
                    "rest of the file";
    } else if (scanEnd.in == In::kLineComment && rest.find('\r') != std::string_view::npos) {
        swallowed = At(text, scanEnd.commentAt) +
                    "the // comment takes the rest of the file: its lines end in CR alone";
    }
    if (!missing.empty()) {
        *error = (swallowed.empty() ? "" : swallowed + "; so it ") + "does not set " + missing;
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
