#include <algorithm>
#include <cstring>
#include <cstdint>
#include <exception>
#include <vector>

#include "calib/calibration_file.h"

namespace {

constexpr std::size_t kStatementCapacity = 511;
constexpr std::size_t kKeyCapacity = 99;
// The first read is this big; the buffer then doubles while the stream keeps
// delivering, up to the size reported by tell.
constexpr std::size_t kFirstReadSize = 64 * 1024;

// ASCII only: the keys are ASCII, and a locale must not change what matches.
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b)) return false;
    }
    return *a == *b;
}

bool IsKeyBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// tell on a directory or a device can report a size that nothing backs
// (LONG_MAX on ext4 directories), so the buffer is grown only as bytes arrive
// instead of being allocated from that figure up front.
bool ReadWholeStream(std::FILE* stream, std::vector<char>& data) {
    if (std::fseek(stream, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(stream);
    if (end < 0 || std::fseek(stream, 0, SEEK_SET) != 0) return false;
    const auto size = static_cast<std::uintmax_t>(end);
    try {
        std::size_t have = 0;
        while (have < size) {
            const auto want = static_cast<std::size_t>(
                std::min<std::uintmax_t>(size - have, std::max(have, kFirstReadSize)));
            data.reserve(have + want);
            data.resize(have + want);
            const std::size_t got = std::fread(data.data() + have, 1, want, stream);
            if (got != want) return false;
            have += got;
        }
    } catch (const std::exception&) {  // bad_alloc, or length_error past SIZE_MAX
        return false;
    }
    return true;
}

}  // namespace

const CalibrationField* CalibrationStatementField(const char* statement) {
    if (statement == nullptr) return nullptr;
    // Blanks anywhere in the key are dropped, and it is cut at 99 characters.
    char key[kKeyCapacity + 1];
    std::size_t keyLength = 0;
    const char* p = statement;
    for (; *p != '\0' && *p != '='; ++p) {
        if (!IsKeyBlank(*p) && keyLength < kKeyCapacity) key[keyLength++] = *p;
    }
    if (*p != '=') return nullptr;
    key[keyLength] = '\0';
    for (const CalibrationField& field : kCalibrationFields) {
        if (EqualIgnoringAsciiCase(key, field.name)) return &field;
    }
    return nullptr;
}

void ParseCalibrationStatement(const char* statement, CalibrationRecord& record) {
    const CalibrationField* field = CalibrationStatementField(statement);
    if (field == nullptr) return;
    bool hex = false;
    // Wraps freely: only the low 16 bits are ever stored.
    std::uint32_t value = 0;
    const char* p = std::strchr(statement, '=');
    for (char previous = *p++; *p != '\0'; previous = *p, ++p) {
        const char c = *p;
        if (c == '=') {
            continue;
        } else if ((c == 'x' || c == 'X') && previous == '0') {
            hex = true;
        } else if (c >= '0' && c <= '9') {
            value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            value = value * 16u + static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            value = value * 16u + static_cast<std::uint32_t>(c - 'A' + 10);
        }
    }
    field->Store(record, value);
}

void ForEachCalibrationStatement(const char* data, std::size_t size,
                                 const std::function<void(const char*)>& visit) {
    ForEachCalibrationStatementSpan(
        data, size, [&visit](const char* statement, const StatementSpan&) { visit(statement); });
}

CalibrationScanEnd ForEachCalibrationStatementSpan(
    const char* data, std::size_t size,
    const std::function<void(const char*, const StatementSpan&)>& visit) {
    char statement[kStatementCapacity + 1];
    std::size_t length = 0;
    bool inLineComment = false;
    bool inBlockComment = false;
    std::size_t first = 0;  // where the statement being gathered began
    std::size_t commentAt = 0;

    // Windows editors put a UTF-8 byte-order mark in front of what they
    // save; it is no text of the file, and would otherwise open the first key.
    static constexpr char kByteOrderMark[] = {'\xEF', '\xBB', '\xBF'};
    std::size_t i = 0;
    if (size >= sizeof kByteOrderMark && std::equal(kByteOrderMark, kByteOrderMark + 3, data))
        i = 3;
    first = i;
    while (i < size) {
        const char c = data[i];
        // At the last byte there is no next one, so no marker can start there.
        const char next = (i + 1 < size) ? data[i + 1] : '\0';
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
        } else if (c == '/' && next == '/') {  // before "/*", so "//*" is a line comment
            inLineComment = true;
            commentAt = i;
            i += 2;
        } else if (c == '/' && next == '*') {  // the '*' is consumed, so "/*/" stays open
            inBlockComment = true;
            commentAt = i;
            i += 2;
        } else {
            // A full buffer is cut like a ';', and the byte that found it full
            // is dropped just as the ';' would be.
            if (c == ';' || length == kStatementCapacity) {
                statement[length] = '\0';
                visit(statement, StatementSpan{first, i, c != ';'});
                length = 0;
                first = i + 1;
            } else {
                statement[length++] = c;
            }
            ++i;
        }
    }
    // Whatever is left after the last ';' is not a statement.
    using In = CalibrationScanEnd::In;
    return {inLineComment    ? In::kLineComment
            : inBlockComment ? In::kBlockComment
                             : In::kText,
            commentAt};
}

void ApplyCalibrationText(const char* data, std::size_t size, CalibrationRecord& record) {
    ForEachCalibrationStatement(data, size, [&record](const char* statement) {
        ParseCalibrationStatement(statement, record);
    });
}

bool ReadCalibrationBytes(std::FILE* stream, std::vector<char>& data) {
    if (stream == nullptr) return false;
    const bool whole = ReadWholeStream(stream, data);
    std::fclose(stream);
    return whole;
}

bool LoadCalibrationFile(std::FILE* stream, CalibrationRecord& record) {
    std::vector<char> data;
    // Half a file would silently leave fields at zero; refuse it instead.
    if (!ReadCalibrationBytes(stream, data)) return false;
    ApplyCalibrationText(data.data(), data.size(), record);
    return true;
}
