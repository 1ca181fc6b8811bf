#include "service/production_record.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace service {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;
// No field the program writes comes near this (a path, a host name); a row
// that has one is no row of ours, and is not held whole.
constexpr std::size_t kMaxFieldBytes = 4096;
constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t SecondsOf(const std::tm& t) {
    return DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1),
                         static_cast<unsigned>(t.tm_mday)) *
               86400 +
           t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec;
}

// A spreadsheet runs a cell that starts so as a formula; the quote mark that
// keeps it text is taken off again by the reader, so a field that starts
// with one gets one too.
bool NeedsTextMark(std::string_view field) {
    return !field.empty() && std::strchr("=+-@\t\r'", field.front()) != nullptr;
}

void AppendField(std::string& line, std::string_view field) {
    if (!line.empty()) line += ',';
    std::string text;
    if (NeedsTextMark(field)) text += '\'';
    text += field;
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

std::string BlockText(const CalibrationBlock& block) {
    std::string text;
    for (const std::uint8_t byte : block) {
        if (!text.empty()) text += ' ';
        text += kHexUpper[byte >> 4];
        text += kHexUpper[byte & 0xF];
    }
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits only, at most `max`.
bool ParseDecimal(const std::string& text, unsigned max, unsigned* value) {
    if (text.empty() || text.size() > 5) return false;
    unsigned v = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > max) return false;
    *value = v;
    return true;
}

// 2026-12-08T04:30:12+01:00, the digits checked for what they can be.
bool IsRecordTime(const std::string& t) {
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd+dd:dd";
    if (t.size() != kShape.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char want = kShape[i];
        if (want == 'd'   ? !IsDigit(t[i])
            : want == '+' ? (t[i] != '+' && t[i] != '-')
                          : t[i] != want)
            return false;
    }
    const auto two = [&](std::size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); };
    return two(5) >= 1 && two(5) <= 12 && two(8) >= 1 && two(8) <= 31 && two(11) <= 23 &&
           two(14) <= 59 && two(17) <= 60 && two(20) <= 23 && two(23) <= 59;
}

int HexDigit(char c, const char* digits) {
    const char* at = std::strchr(digits, c);
    return c != '\0' && at != nullptr ? static_cast<int>(at - digits) : -1;
}

bool ParseVidPid(const std::string& text, std::uint32_t* vidPid) {
    if (text.size() != 9 || text[4] != ':') return false;
    std::uint32_t vendor = 0, product = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int v = HexDigit(text[i], kHexLower), p = HexDigit(text[5 + i], kHexLower);
        if (v < 0 || p < 0) return false;
        vendor = vendor << 4 | static_cast<std::uint32_t>(v);
        product = product << 4 | static_cast<std::uint32_t>(p);
    }
    *vidPid = product << 16 | vendor;
    return true;
}

bool IsLowerHex(const std::string& text, std::size_t size) {
    if (text.size() != size) return false;
    for (const char c : text) {
        if (HexDigit(c, kHexLower) < 0) return false;
    }
    return true;
}

std::string WithoutTextMark(const std::string& field) {
    return !field.empty() && field.front() == '\'' ? field.substr(1) : field;
}

}  // namespace

std::string_view RecordResult(EepromOutcome outcome) {
    switch (outcome) {
        case EepromOutcome::kDone:
            return kRecordResults[0];
        case EepromOutcome::kUnfitReports:
            return kRecordResults[1];
        case EepromOutcome::kNotSent:
            return kRecordResults[2];
        case EepromOutcome::kNoReply:
            return kRecordResults[3];
        case EepromOutcome::kDiffers:
            return kRecordResults[4];
        case EepromOutcome::kGone:
            return kRecordResults[5];
    }
    return kRecordResults[2];
}

std::string RecordTimeNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{}, utc{};
    if (const std::tm* t = std::localtime(&now)) local = *t;
    if (const std::tm* t = std::gmtime(&now)) utc = *t;
    // The offset is what the local clock shows beyond UTC for this moment.
    const std::int64_t offset = (SecondsOf(local) - SecondsOf(utc)) / 60;
    const std::int64_t minutes = offset < 0 ? -offset : offset;
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  static_cast<int>(minutes / 60 % 100), static_cast<int>(minutes % 60));
    return stamp;
}

std::int64_t RecordTimeSeconds(const std::string& time) {
    if (time.size() < 25) return 0;
    const auto number = [&](std::size_t at, std::size_t digits) {
        return static_cast<unsigned>(std::stoul(time.substr(at, digits)));
    };
    const std::int64_t local = DaysFromCivil(number(0, 4), number(5, 2), number(8, 2)) * 86400 +
                               number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
    const std::int64_t offset = (number(20, 2) * 60 + number(23, 2)) * 60;
    return time[19] == '-' ? local + offset : local - offset;
}

std::string FormatRecordRow(const RecordRow& row) {
    std::string line;
    line.reserve(256);
    char vidPid[16];
    std::snprintf(vidPid, sizeof vidPid, "%04x:%04x", unsigned{row.vidPid & 0xFFFFu},
                  unsigned{row.vidPid >> 16});
    for (const std::string* text :
         {&row.time, &row.station, &row.version, &row.source, &row.device, &row.serial}) {
        AppendField(line, *text);
    }
    AppendField(line, vidPid);
    AppendField(line, row.result);
    for (const std::uint16_t value : row.axes) {
        AppendField(line, row.captured ? std::to_string(value) : std::string());
    }
    for (const CalibrationField& field : kCalibrationFields) {
        AppendField(line, std::to_string(field.Value(row.fields)));
    }
    AppendField(line, BlockText(PackCalibrationBlock(row.fields)));
    AppendField(line, row.configSha256);
    line += "\r\n";
    return line;
}

bool ParseRecordFields(const std::vector<std::string>& f, RecordRow* row, std::string* why) {
    if (f.size() != kRecordColumns) {
        *why = std::to_string(f.size()) + " fields, not " + std::to_string(kRecordColumns);
        return false;
    }
    RecordRow r;
    const auto bad = [&](std::string_view column) {
        *why = "bad " + std::string(column);
        return false;
    };
    r.time = f[0];
    if (!IsRecordTime(r.time)) return bad("time");
    r.station = WithoutTextMark(f[1]);
    r.version = WithoutTextMark(f[2]);
    r.source = f[3];
    if (r.source != "dialog" && r.source != "restore") return bad("source");
    r.device = WithoutTextMark(f[4]);
    r.serial = WithoutTextMark(f[5]);
    if (!ParseVidPid(f[6], &r.vidPid)) return bad("vid_pid");
    r.result = f[7];
    bool known = false;
    for (const std::string_view word : kRecordResults) known = known || r.result == word;
    if (!known) return bad("result");
    // The dialog captured all six; a restore captures none.
    r.captured = r.source == "dialog";
    for (std::size_t i = 0; i < kCapturedCount; ++i) {
        const std::string& text = f[8 + i];
        unsigned value = 0;
        if (r.captured ? !ParseDecimal(text, 0xFFFF, &value) : !text.empty()) {
            return bad(kCapturedNames[i]);
        }
        r.axes[i] = static_cast<std::uint16_t>(value);
    }
    for (std::size_t i = 0; i < kCalibFieldCount; ++i) {
        const CalibrationField& field = kCalibrationFields[i];
        unsigned value = 0;
        if (!ParseDecimal(f[14 + i], field.Max(), &value)) return bad(field.name);
        field.Store(r.fields, value);
    }
    // The block is what the fields pack to, or one of them is not what went
    // to the stick.
    if (f[28] != BlockText(PackCalibrationBlock(r.fields))) return bad("block");
    r.configSha256 = f[29];
    if (!r.configSha256.empty() && !IsLowerHex(r.configSha256, 64)) return bad("config_sha256");
    *row = std::move(r);
    return true;
}

RecordReader::RecordReader(std::FILE* file) : m_file(file), m_buffer(kReadChunk) {
    m_failed = file == nullptr;
}

RecordReader::~RecordReader() {
    if (m_file != nullptr) std::fclose(m_file);
}

int RecordReader::Peek() {
    if (m_at == m_size) {
        if (m_file == nullptr) return EOF;
        m_size = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
        m_at = 0;
        if (m_size == 0) {
            m_failed = std::ferror(m_file) != 0;
            std::fclose(m_file);
            m_file = nullptr;
            return EOF;
        }
    }
    return static_cast<unsigned char>(m_buffer[m_at]);
}

int RecordReader::Take() {
    const int c = Peek();
    if (c != EOF) {
        ++m_at;
        if (c == '\n') ++m_line;
    }
    return c;
}

void RecordReader::SkipLine() {
    int c;
    while ((c = Take()) != EOF && c != '\n') {
    }
}

bool RecordReader::TooLong(std::string* why) {
    *why = "a field longer than " + std::to_string(kMaxFieldBytes) + " bytes";
    SkipLine();
    return false;
}

// One record of RFC 4180 into m_fields, its CR LF taken too.
bool RecordReader::SplitRecord(std::string* why) {
    std::size_t count = 0;
    const auto field = [&]() -> std::string& {
        if (count == m_fields.size()) m_fields.emplace_back();
        std::string& f = m_fields[count++];
        f.clear();
        return f;
    };
    for (;;) {
        std::string& f = field();
        if (count > kRecordColumns) {
            *why = "more than " + std::to_string(kRecordColumns) + " fields";
            SkipLine();
            return false;
        }
        int c = Peek();
        if (c == '"') {
            Take();
            for (;;) {
                c = Take();
                if (c == EOF) {
                    *why = "a quoted field runs to the end of the file";
                    return false;
                }
                if (c == '"') {
                    if (Peek() != '"') break;
                    Take();
                }
                if (f.size() == kMaxFieldBytes) return TooLong(why);
                f += static_cast<char>(c);
            }
            c = Peek();
        } else {
            while ((c = Peek()) != EOF && c != ',' && c != '\r' && c != '\n' && c != '"') {
                if (f.size() == kMaxFieldBytes) return TooLong(why);
                f += static_cast<char>(c);
                Take();
            }
        }
        if (c == ',') {
            Take();
            continue;
        }
        if (c == '\r') {
            Take();
            if (Take() == '\n') break;
            *why = "a CR without LF";
            SkipLine();
            return false;
        }
        if (c == EOF) {
            *why = "the last row is cut short (no line end)";
            return false;
        }
        *why = c == '\n' ? "a line end without CR" : "a quote inside a field";
        SkipLine();
        return false;
    }
    m_fields.resize(count);
    return true;
}

RecordReader::Next RecordReader::Read(RecordRow* row, std::string* why) {
    if (!m_headerRead) {
        m_headerRead = true;
        std::string first;
        int c;
        while ((c = Take()) != EOF && c != '\n' && first.size() <= kRecordHeader.size() + 1) {
            first += static_cast<char>(c);
        }
        if (m_failed) return Next::kReadFailed;
        if (first.empty() && c == EOF) return Next::kEnd;
        if (first.size() != kRecordHeader.size() + 1 || c != '\n' || first.back() != '\r' ||
            std::string_view(first).substr(0, kRecordHeader.size()) != kRecordHeader) {
            // Nothing more is read from a file that is not ours.
            if (m_file != nullptr) std::fclose(m_file);
            m_file = nullptr;
            m_at = m_size = 0;
            return Next::kNotARecord;
        }
    }
    if (Peek() == EOF) return m_failed ? Next::kReadFailed : Next::kEnd;
    m_rowLine = m_line;
    if (!SplitRecord(why)) return m_failed ? Next::kReadFailed : Next::kMalformed;
    return ParseRecordFields(m_fields, row, why) ? Next::kRow : Next::kMalformed;
}

}  // namespace service
