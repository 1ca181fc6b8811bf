// The production record: one CSV row (RFC 4180, UTF-8, CR LF) for every
// stick written, in columns fixed so that spreadsheets and scripts can rely
// on them, and the reader that takes such a file apart again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "calib/calibration_record.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace service {

inline constexpr std::string_view kRecordHeader =
    "time,station,version,source,device,serial,vid_pid,result,center_x,center_y,up_y,right_x,"
    "down_y,left_x,Initial_Pos_X,Initial_Pos_Y,Edge_Size,Edge_Reduc,Edge_Shift,Edge_BM,"
    "MultInit_XN,MultInit_XP,MultInit_YN,MultInit_YP,Center_Area,Center_Reduc,Center_Shift,"
    "Center_BM,block,config_sha256";
inline constexpr std::size_t kRecordColumns = 30;

// The captured axis values in column order.
inline constexpr std::size_t kCapturedCount = 6;
inline constexpr std::array<std::string_view, kCapturedCount> kCapturedNames = {
    "center_x", "center_y", "up_y", "right_x", "down_y", "left_x"};

// What became of a stick, one word: the write's outcome, or "interrupted"
// for a restore stopped before its block was sent.
std::string_view RecordResult(EepromOutcome outcome);
inline constexpr std::string_view kResultInterrupted = "interrupted";
inline constexpr std::array<std::string_view, 7> kRecordResults = {
    "verified",          "unfit-reports", "write-failed", "no-read-back",
    "read-back-differs", "gone",          "interrupted"};

struct RecordRow {
    std::string time;  // local, 2026-12-08T04:30:12+01:00
    std::string station;
    std::string version;
    std::string source;  // "dialog" or "restore"
    std::string device;
    std::string serial;
    std::uint32_t vidPid = 0;  // product << 16 | vendor
    std::string result;
    bool captured = false;  // the dialog's rows carry the axis values
    std::array<std::uint16_t, kCapturedCount> axes{};
    CalibrationRecord fields{};
    std::string configSha256;  // empty: no configuration was loaded

    bool operator==(const RecordRow&) const = default;
};

// The local time now as the record writes it.
std::string RecordTimeNow();

// Seconds since 1970-01-01 UTC of a time as the record writes it.
std::int64_t RecordTimeSeconds(const std::string& time);

// The row as one line, CR LF included.
std::string FormatRecordRow(const RecordRow& row);

// Reads a record file row by row, holding one row at a time.
class RecordReader {
  public:
    // Takes over `file` (may be null: unreadable) and closes it.
    explicit RecordReader(std::FILE* file);
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    enum class Next { kRow, kMalformed, kEnd, kNotARecord, kReadFailed };
    // kMalformed: the row starting at Line() is left out, `why` says why.
    // kNotARecord comes first, alone, for a file whose header is not ours.
    Next Read(RecordRow* row, std::string* why);
    // The line where the last row read began (the header is line 1).
    std::size_t Line() const { return m_rowLine; }

  private:
    int Peek();
    int Take();
    bool SplitRecord(std::string* why);
    bool TooLong(std::string* why);
    void SkipLine();

    std::FILE* m_file;
    std::vector<char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_size = 0;
    bool m_failed = false;
    bool m_headerRead = false;
    std::size_t m_line = 1;
    std::size_t m_rowLine = 0;
    std::vector<std::string> m_fields;
};

// One row from the fields of a CSV record (quotes already taken off); false
// with the reason when they do not make a row.
bool ParseRecordFields(const std::vector<std::string>& fields, RecordRow* row, std::string* why);

}  // namespace service
