#include "service/report_text.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "term/clean_text.h"

namespace service {
namespace {

// The values a histogram is drawn for: the centres and the four gains, where
// a drift or a spread shows first.
constexpr const char* kCharted[] = {"center_x",    "center_y",    "MultInit_XN",
                                    "MultInit_XP", "MultInit_YN", "MultInit_YP"};

// Rows out listed per value on a terminal; the document and the page list
// more.
constexpr std::size_t kTextListed = 10;

// Eighths of a cell, from one to eight.
constexpr const char* kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                   "\u2585", "\u2586", "\u2587", "\u2588"};

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text,
                  value == static_cast<double>(static_cast<long long>(value)) ? "%.0f" : "%.1f",
                  value);
    return text;
}

std::string Row(const std::string& name, const std::string& value, std::size_t at = 22) {
    return "  " + Padded(name, at) + value + "\n";
}

std::string Where(const std::string& file, std::size_t line) {
    return term::CleanText(file) + ":" + std::to_string(line);
}

}  // namespace

std::string BlockHistogram(const ValueFigures& f, int columns, int height) {
    if (f.count == 0 || columns < 1 || height < 1) return {};
    const std::uint64_t span = std::uint64_t{f.max} - f.min + 1;
    const auto bins = static_cast<std::size_t>(std::min<std::uint64_t>(span, columns));
    std::vector<std::uint64_t> counts(bins);
    for (std::uint64_t v = f.min; v <= f.max; ++v) {
        counts[static_cast<std::size_t>((v - f.min) * bins / span)] += f.counts[v];
    }
    const std::uint64_t most = *std::max_element(counts.begin(), counts.end());
    const auto eighths = static_cast<std::uint64_t>(height) * 8;
    std::string text;
    for (int line = height - 1; line >= 0; --line) {
        std::string row;
        for (const std::uint64_t c : counts) {
            // A bin with any row in it shows at least its lowest eighth.
            const std::uint64_t level = c == 0 ? 0 : std::max<std::uint64_t>(1, c * eighths / most);
            const std::int64_t here = static_cast<std::int64_t>(level) - line * 8;
            row += here <= 0 ? " " : kBlocks[std::min<std::int64_t>(here, 8) - 1];
        }
        while (!row.empty() && row.back() == ' ') row.pop_back();
        text += "  " + row + "\n";
    }
    const std::string low = std::to_string(f.min), high = std::to_string(f.max);
    const std::size_t gap = bins > low.size() + high.size() ? bins - low.size() - high.size() : 1;
    text += "  " + low + (f.min == f.max ? "" : std::string(gap, ' ') + high) + "\n";
    return text;
}

std::string ReportText(const RecordReport& r, int width) {
    std::string text = "Rows: " + std::to_string(r.rows) + " in " + std::to_string(r.files.size()) +
                       (r.files.size() == 1 ? " file" : " files") + ", " +
                       std::to_string(r.malformed) + " malformed\n";
    text += "\nBy result:\n";
    for (const auto& [result, count] : r.results) text += Row(result, std::to_string(count));
    text += "\nBy station:\n";
    for (const auto& [station, count] : r.stations) text += Row(station, std::to_string(count));
    text += "\nSerial numbers written more than once:";
    text += r.repeatedSerials.empty() ? " none\n" : "\n";
    for (const auto& [serial, count] : r.repeatedSerials) {
        text += Row(serial, std::to_string(count) + " rows");
    }
    if (r.malformed > 0) {
        text += "\nMalformed rows (left out):\n";
        for (const MalformedRow& m : r.malformedListed) {
            text += "  " + Where(m.file, m.line) + ": " + m.why + "\n";
        }
        if (r.malformed > r.malformedListed.size()) {
            text += "  and " + std::to_string(r.malformed - r.malformedListed.size()) + " more\n";
        }
    }

    text += "\n  " + Padded("value", 14);
    for (const char* head : {"count", "min", "median", "max", "MAD", "out"}) {
        text += std::string(9 - std::string(head).size(), ' ') + head;
    }
    text += "\n";
    for (const ValueFigures& f : r.values) {
        text += "  " + Padded(f.name, 14);
        const bool any = f.count > 0;
        for (const std::string& cell :
             {std::to_string(f.count), any ? std::to_string(f.min) : "-",
              any ? Number(f.median) : "-", any ? std::to_string(f.max) : "-",
              any ? Number(f.mad) : "-", std::to_string(f.outliers)}) {
            text += std::string(cell.size() < 9 ? 9 - cell.size() : 1, ' ') + cell;
        }
        text += "\n";
    }

    bool headed = false;
    for (const ValueFigures& f : r.values) {
        if (f.outliers == 0) continue;
        if (!headed) {
            text += "\nRows more than 3.5 scaled MADs from the median:\n";
            headed = true;
        }
        const std::size_t shown = std::min(f.listed.size(), kTextListed);
        for (std::size_t i = 0; i < shown; ++i) {
            const ReportedRow& o = f.listed[i];
            text += "  " + Padded(f.name + " " + std::to_string(o.value), 20) + o.time +
                    "  serial " + (o.serial.empty() ? "-" : o.serial) + "  " +
                    Where(o.file, o.line) + "\n";
        }
        if (f.outliers > shown) {
            text += "  " + f.name + ": and " + std::to_string(f.outliers - shown) +
                    " more (--json and --html list " + std::to_string(kReportListed) + ")\n";
        }
    }

    for (const ValueFigures& f : r.values) {
        if (f.count == 0 || std::none_of(std::begin(kCharted), std::end(kCharted),
                                         [&](const char* name) { return f.name == name; })) {
            continue;
        }
        text += "\n" + f.name + ":\n" + BlockHistogram(f, std::max(width - 4, 8), 4);
    }
    return text;
}

std::string ReportJson(const RecordReport& r) {
    using Json = nlohmann::ordered_json;
    Json files = Json::array();
    for (const std::string& f : r.files) files.push_back(term::CleanText(f));
    Json malformed = Json::array();
    for (const MalformedRow& m : r.malformedListed) {
        malformed.push_back({{"file", term::CleanText(m.file)}, {"line", m.line}, {"why", m.why}});
    }
    Json serials = Json::array();
    for (const auto& [serial, count] : r.repeatedSerials) {
        serials.push_back({{"serial", serial}, {"rows", count}});
    }
    Json values = Json::array();
    for (const ValueFigures& f : r.values) {
        Json out = Json::array();
        for (const ReportedRow& o : f.listed) {
            out.push_back({{"file", term::CleanText(o.file)},
                           {"line", o.line},
                           {"time", o.time},
                           {"station", o.station},
                           {"serial", o.serial},
                           {"value", o.value}});
        }
        const bool any = f.count > 0;
        values.push_back({{"name", f.name},
                          {"count", f.count},
                          {"min", any ? Json(f.min) : Json()},
                          {"median", any ? Json(f.median) : Json()},
                          {"max", any ? Json(f.max) : Json()},
                          {"mad", any ? Json(f.mad) : Json()},
                          {"outliers", f.outliers},
                          {"outlier_rows", out}});
    }
    Json results = Json::object(), stations = Json::object();
    for (const auto& [k, v] : r.results) results[k] = v;
    for (const auto& [k, v] : r.stations) stations[k] = v;
    const Json document = {{"files", files},
                           {"rows", r.rows},
                           {"malformed", r.malformed},
                           {"malformed_rows", malformed},
                           {"results", results},
                           {"stations", stations},
                           {"repeated_serials", serials},
                           {"values", values}};
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace service
