#include "service/record_report.h"

#include <algorithm>
#include <functional>

#include "platform/file_open.h"
#include "term/clean_text.h"

namespace service {
namespace {

bool Has(const RecordRow& row, std::size_t value) {
    return value >= kCapturedCount || row.captured;
}

unsigned ValueOf(const RecordRow& row, std::size_t value) {
    return value < kCapturedCount ? row.axes[value]
                                  : kCalibrationFields[value - kCapturedCount].Value(row.fields);
}

// The value at position `k` (from 0) of the sorted rows, from counts.
std::size_t KthValue(const std::vector<std::uint32_t>& counts, std::uint64_t k) {
    std::uint64_t seen = 0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        seen += counts[v];
        if (seen > k) return v;
    }
    return counts.size() - 1;
}

// Twice the median of `total` rows so counted: a whole number either way.
std::uint64_t TwiceMedian(const std::vector<std::uint32_t>& counts, std::uint64_t total) {
    return KthValue(counts, (total - 1) / 2) + KthValue(counts, total / 2);
}

void Finish(ValueFigures& f) {
    if (f.count == 0) return;
    const auto first = std::find_if(f.counts.begin(), f.counts.end(), [](auto c) { return c > 0; });
    const auto last =
        std::find_if(f.counts.rbegin(), f.counts.rend(), [](auto c) { return c > 0; });
    f.min = static_cast<unsigned>(first - f.counts.begin());
    f.max = static_cast<unsigned>(f.counts.rend() - last - 1);
    const std::uint64_t median2 = TwiceMedian(f.counts, f.count);
    f.median = static_cast<double>(median2) / 2;
    // Deviations in half units, |2x - 2m|, so that a median between two
    // values needs no fractions.
    std::vector<std::uint32_t> deviations(2 * f.counts.size());
    for (std::size_t v = f.min; v <= f.max; ++v) {
        const std::uint64_t twice = 2 * v;
        deviations[twice > median2 ? twice - median2 : median2 - twice] += f.counts[v];
    }
    f.mad = static_cast<double>(TwiceMedian(deviations, f.count)) / 4;
    for (std::size_t v = f.min; v <= f.max; ++v) {
        if (IsOutlier(f, static_cast<unsigned>(v))) f.outliers += f.counts[v];
    }
}

}  // namespace

bool ForEachRecordRow(
    const std::vector<std::string>& paths, std::string* error,
    const std::function<void(const std::string&, std::size_t, const RecordRow&)>& row,
    const std::function<void(const std::string&, std::size_t, const std::string&)>& bad) {
    for (const std::string& path : paths) {
        RecordReader reader(plat::OpenRegularFileToRead(path.c_str()));
        RecordRow r;
        std::string why;
        for (;;) {
            const RecordReader::Next next = reader.Read(&r, &why);
            if (next == RecordReader::Next::kRow) {
                row(path, reader.Line(), r);
            } else if (next == RecordReader::Next::kMalformed) {
                bad(path, reader.Line(), why);
            } else if (next == RecordReader::Next::kEnd) {
                break;
            } else {
                *error = next == RecordReader::Next::kNotARecord
                             ? term::CleanText(path) +
                                   " is not a production record of this kx9calib: its first "
                                   "line is not the header it writes"
                             : "cannot read " + term::CleanText(path);
                return false;
            }
        }
    }
    return true;
}

unsigned ReportValue(const RecordRow& row, std::size_t index, bool* has) {
    *has = Has(row, index);
    return ValueOf(row, index);
}

bool IsOutlier(const ValueFigures& figures, unsigned value) {
    const double deviation =
        value > figures.median ? value - figures.median : figures.median - value;
    if (figures.mad == 0) return deviation > 0;
    return deviation > kOutlierDeviations * kDeviationScale * figures.mad;
}

bool BuildRecordReport(const std::vector<std::string>& paths, RecordReport* report,
                       std::string* error) {
    RecordReport& r = *report;
    r = RecordReport{};
    r.files = paths;
    for (std::size_t v = 0; v < kReportValueCount; ++v) {
        ValueFigures& f = r.values[v];
        const bool wide = v < kCapturedCount || kCalibrationFields[v - kCapturedCount].Width() == 2;
        f.name = v < kCapturedCount ? std::string(kCapturedNames[v])
                                    : kCalibrationFields[v - kCapturedCount].name;
        f.counts.assign(wide ? 0x10000 : 0x100, 0);
    }
    // Serial numbers by a hash of each, eight bytes a row; only the few
    // hashes seen twice are looked at again, by their text.
    std::vector<std::uint64_t> serials;
    const auto hashOf = [](const std::string& s) { return std::hash<std::string>{}(s); };
    const bool read = ForEachRecordRow(
        paths, error,
        [&](const std::string&, std::size_t, const RecordRow& row) {
            ++r.rows;
            ++r.results[row.result];
            ++r.stations[term::CleanText(row.station)];
            if (!row.serial.empty()) serials.push_back(hashOf(row.serial));
            for (std::size_t v = 0; v < kReportValueCount; ++v) {
                if (!Has(row, v)) continue;
                ++r.values[v].count;
                ++r.values[v].counts[ValueOf(row, v)];
            }
        },
        [&](const std::string& file, std::size_t line, const std::string& why) {
            if (++r.malformed <= kReportListed) r.malformedListed.push_back({file, line, why});
        });
    if (!read) return false;
    for (ValueFigures& f : r.values) Finish(f);

    std::sort(serials.begin(), serials.end());
    std::vector<std::uint64_t> twice;
    for (std::size_t i = 1; i < serials.size(); ++i) {
        if (serials[i] == serials[i - 1] && (twice.empty() || twice.back() != serials[i])) {
            twice.push_back(serials[i]);
        }
    }
    std::vector<std::uint64_t>().swap(serials);
    const bool anyOut = std::any_of(r.values.begin(), r.values.end(),
                                    [](const ValueFigures& f) { return f.outliers > 0; });
    if (twice.empty() && !anyOut) return true;

    std::map<std::string, std::uint64_t> seen;
    const bool again = ForEachRecordRow(
        paths, error,
        [&](const std::string& file, std::size_t line, const RecordRow& row) {
            if (!row.serial.empty() &&
                std::binary_search(twice.begin(), twice.end(), hashOf(row.serial))) {
                ++seen[row.serial];
            }
            for (std::size_t v = 0; v < kReportValueCount; ++v) {
                ValueFigures& f = r.values[v];
                if (!Has(row, v) || f.listed.size() == kReportListed) continue;
                const unsigned value = ValueOf(row, v);
                if (!IsOutlier(f, value)) continue;
                f.listed.push_back({file, line, row.time, term::CleanText(row.station),
                                    term::CleanText(row.serial), value});
            }
        },
        [](const std::string&, std::size_t, const std::string&) {});
    if (!again) return false;
    for (const auto& [serial, times] : seen) {
        if (times > 1) r.repeatedSerials[term::CleanText(serial)] += times;
    }
    return true;
}

}  // namespace service
