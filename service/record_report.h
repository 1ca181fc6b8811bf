// The figures of `kx9calib report` over one or many production records:
// counts by result and station, serial numbers written more than once, and
// for every captured value and field its count, minimum, median, maximum
// and the rows far out. Every value is 8 or 16 bits wide, so the figures
// come from counts per value, exact, without keeping the rows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "service/production_record.h"

namespace service {

inline constexpr std::size_t kReportValueCount = kCapturedCount + kCalibFieldCount;
// Rows listed per kind (outliers of one value, malformed rows); the counts
// are always whole.
inline constexpr std::size_t kReportListed = 100;
// A row is out when it lies more than this many scaled median absolute
// deviations from the median (1.4826 scales the deviation to a normal
// distribution's standard deviation).
inline constexpr double kOutlierDeviations = 3.5;
inline constexpr double kDeviationScale = 1.4826;

struct ReportedRow {
    std::string file;
    std::size_t line = 0;
    std::string time;
    std::string station;
    std::string serial;
    unsigned value = 0;
};

struct MalformedRow {
    std::string file;
    std::size_t line = 0;
    std::string why;
};

struct ValueFigures {
    std::string name;
    std::uint64_t count = 0;  // rows that carry the value
    unsigned min = 0, max = 0;
    double median = 0, mad = 0;  // mad: the median absolute deviation, unscaled
    std::uint64_t outliers = 0;
    std::vector<ReportedRow> listed;    // the first kReportListed, in file order
    std::vector<std::uint32_t> counts;  // rows per value, 256 or 65536 of them
};

struct RecordReport {
    std::vector<std::string> files;
    std::uint64_t rows = 0;
    std::uint64_t malformed = 0;
    std::vector<MalformedRow> malformedListed;
    std::map<std::string, std::uint64_t> results;
    std::map<std::string, std::uint64_t> stations;
    std::map<std::string, std::uint64_t> repeatedSerials;  // written more than once: how often
    std::array<ValueFigures, kReportValueCount> values;
};

// Whether `value` lies out of the figures' spread; with no spread at all
// (half the rows or more alike) every other value does.
bool IsOutlier(const ValueFigures& figures, unsigned value);

// Visits every row of the records in order, and every malformed one; false
// with the message when one cannot be read whole or is not a record.
bool ForEachRecordRow(
    const std::vector<std::string>& paths, std::string* error,
    const std::function<void(const std::string&, std::size_t, const RecordRow&)>& row,
    const std::function<void(const std::string&, std::size_t, const std::string&)>& bad);

// The value `index` of the report's values (the six captured, then the
// fields); `has` says whether the row carries it.
unsigned ReportValue(const RecordRow& row, std::size_t index, bool* has);

// Reads every record twice (figures, then the rows they single out); false
// with the message when one cannot be read whole or is not a record.
bool BuildRecordReport(const std::vector<std::string>& paths, RecordReport* report,
                       std::string* error);

}  // namespace service
