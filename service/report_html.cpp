#include "service/report_html.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <map>

#include "term/clean_text.h"
#include "ui/wizard_steps.h"

namespace service {
namespace {

// The values drawn over time: the centres and the four gains.
constexpr std::size_t kCharted[] = {
    0, 1, kCapturedCount + 6, kCapturedCount + 7, kCapturedCount + 8, kCapturedCount + 9};
// Points kept per station and value: every row until then, then every
// second, fourth... so that a record of any size draws in the same room.
constexpr std::size_t kPointsKept = 1500;
constexpr std::size_t kBins = 60;
constexpr const char* kColours[] = {"#1f5fa8", "#c4501b", "#2e8540", "#7b3fa0",
                                    "#b8860b", "#008b8b", "#a0224f", "#555555"};

// The wizard's gates, drawn over the captured values they held.
struct Gate {
    double low = -1, high = -1;  // -1: none on that side
};
Gate GateOf(std::size_t value) {
    switch (value) {
        case 0:
        case 1:
            return {wizard::kCentreLow, wizard::kCentreHigh};
        case 2:
        case 5:
            return {-1, wizard::kLowExtreme};
        case 3:
        case 4:
            return {wizard::kHighExtreme, -1};
        default:
            return {};
    }
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : term::CleanText(text)) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    std::string s = text;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
    return s;
}

struct Series {
    std::size_t stride = 1, seen = 0;
    std::vector<std::pair<std::int64_t, unsigned>> points;

    void Add(std::int64_t time, unsigned value) {
        if (seen++ % stride != 0) return;
        points.emplace_back(time, value);
        if (points.size() < 2 * kPointsKept) return;
        for (std::size_t i = 0; i < kPointsKept; ++i) points[i] = points[2 * i];
        points.resize(kPointsKept);
        stride *= 2;
    }
};

std::string Histogram(const ValueFigures& f, std::size_t value) {
    constexpr double kW = 440, kH = 190, kLeft = 44, kRight = 12, kTop = 26, kBottom = 30;
    const Gate gate = GateOf(value);
    std::string svg =
        "<svg viewBox=\"0 0 440 190\" role=\"img\"><text x=\"4\" y=\"16\" "
        "class=\"t\">" +
        f.name + "</text>";
    if (f.count == 0) return svg + "<text x=\"44\" y=\"100\">no rows</text></svg>";
    double low = f.min, high = f.max;
    if (gate.low >= 0) low = std::min(low, gate.low), high = std::max(high, gate.low);
    if (gate.high >= 0) low = std::min(low, gate.high), high = std::max(high, gate.high);
    // One value alone is drawn as a bar among its neighbours, not as a block.
    if (high - low < 10) {
        low = std::max(0.0, low - 5);
        high = std::max(high, low + 10);
    }
    const double span = high - low + 1;
    const std::size_t bins = static_cast<std::size_t>(std::min<double>(kBins, span));
    std::vector<std::uint64_t> counts(bins);
    for (std::size_t v = f.min; v <= f.max; ++v) {
        counts[static_cast<std::size_t>((static_cast<double>(v) - low) * bins / span)] +=
            f.counts[v];
    }
    const double most = static_cast<double>(*std::max_element(counts.begin(), counts.end()));
    const double plotW = kW - kLeft - kRight, plotH = kH - kTop - kBottom;
    const auto x = [&](double v) { return kLeft + (v - low) / span * plotW; };
    svg += "<text x=\"436\" y=\"16\" class=\"r\">n " + std::to_string(f.count) + ", median " +
           Num(f.median) + ", MAD " + Num(f.mad) + "</text>";
    for (std::size_t b = 0; b < bins; ++b) {
        if (counts[b] == 0) continue;
        const double h = std::max(1.0, static_cast<double>(counts[b]) / most * plotH);
        svg += "<rect class=\"bar\" x=\"" + Num(kLeft + plotW * b / bins) + "\" y=\"" +
               Num(kTop + plotH - h) + "\" width=\"" + Num(std::max(1.0, plotW / bins - 1)) +
               "\" height=\"" + Num(h) + "\"/>";
    }
    for (const double g : {gate.low, gate.high}) {
        if (g < 0) continue;
        svg += "<line class=\"gate\" x1=\"" + Num(x(g)) + "\" x2=\"" + Num(x(g)) + "\" y1=\"" +
               Num(kTop) + "\" y2=\"" + Num(kTop + plotH) + "\"/><text class=\"g\" x=\"" +
               Num(x(g) + 3) + "\" y=\"" + Num(kTop + 10) + "\">gate " + Num(g) + "</text>";
    }
    svg += "<line class=\"axis\" x1=\"44\" x2=\"428\" y1=\"" + Num(kTop + plotH) + "\" y2=\"" +
           Num(kTop + plotH) + "\"/>";
    svg += "<text x=\"44\" y=\"180\">" + Num(low) +
           "</text><text x=\"428\" y=\"180\" "
           "class=\"r\">" +
           Num(high) + "</text><text x=\"40\" y=\"" + Num(kTop + 8) + "\" class=\"r\">" +
           Num(most) + "</text></svg>";
    return svg;
}

std::string OverTime(const std::string& name, const std::map<std::string, Series>& stations) {
    constexpr double kLeft = 50, kTop = 26, plotW = 378, plotH = 134;
    std::string svg =
        "<svg viewBox=\"0 0 440 190\" role=\"img\"><text x=\"4\" y=\"16\" "
        "class=\"t\">" +
        name + "</text>";
    std::int64_t t0 = INT64_MAX, t1 = INT64_MIN;
    unsigned v0 = UINT32_MAX, v1 = 0;
    for (const auto& [station, s] : stations) {
        for (const auto& [t, v] : s.points) {
            t0 = std::min(t0, t), t1 = std::max(t1, t), v0 = std::min(v0, v), v1 = std::max(v1, v);
        }
    }
    if (t0 > t1) return svg + "<text x=\"50\" y=\"100\">no rows</text></svg>";
    const double tSpan = std::max<double>(1, static_cast<double>(t1 - t0));
    const double vSpan = std::max<double>(1, v1 - v0);
    std::size_t colour = 0;
    for (const auto& [station, s] : stations) {
        const char* fill = kColours[colour++ % std::size(kColours)];
        for (const auto& [t, v] : s.points) {
            svg += "<circle r=\"1.6\" fill=\"" + std::string(fill) + "\" cx=\"" +
                   Num(kLeft + static_cast<double>(t - t0) / tSpan * plotW) + "\" cy=\"" +
                   Num(kTop + plotH - (v - v0) / vSpan * plotH) + "\"/>";
        }
    }
    svg +=
        "<line class=\"axis\" x1=\"50\" x2=\"428\" y1=\"160\" y2=\"160\"/>"
        "<line class=\"axis\" x1=\"50\" x2=\"50\" y1=\"26\" y2=\"160\"/>";
    svg += "<text x=\"46\" y=\"34\" class=\"r\">" + std::to_string(v1) +
           "</text><text x=\"46\" y=\"160\" class=\"r\">" + std::to_string(v0) +
           "</text><text x=\"50\" y=\"180\">earliest</text><text x=\"428\" y=\"180\" "
           "class=\"r\">latest</text></svg>";
    return svg;
}

std::string CountTable(const char* head, const std::map<std::string, std::uint64_t>& counts) {
    std::string t = "<table><tr><th>" + std::string(head) + "</th><th class=\"n\">rows</th></tr>";
    for (const auto& [k, v] : counts) {
        t += "<tr><td>" + Escaped(k) + "</td><td class=\"n\">" + std::to_string(v) + "</td></tr>";
    }
    return t + "</table>";
}

constexpr const char* kStyle =
    "@page{size:A4;margin:12mm}"
    "body{font:10pt sans-serif;color:#111;background:#fff;margin:8px;width:186mm}"
    "section{break-after:page;overflow:hidden}"
    "h1{font-size:16pt;margin:0 0 4mm}h2{font-size:13pt;margin:0 0 3mm}"
    "table{border-collapse:collapse;table-layout:fixed;width:100%;margin:0 0 4mm}"
    "td,th{border-bottom:1px solid #ccc;padding:1mm 2mm;text-align:left;"
    "overflow-wrap:anywhere}"
    ".n{text-align:right;width:24mm}.v{width:28mm}.w{width:48mm}"
    ".grid2,.grid3{display:grid;gap:3mm}.grid2{grid-template-columns:1fr 1fr}"
    ".grid3{grid-template-columns:1fr 1fr 1fr}"
    "svg{width:100%;height:auto;display:block;border:1px solid #ddd}"
    "svg text{font:11px sans-serif;fill:#333}svg .t{font-weight:bold}"
    "svg .r{text-anchor:end}svg .g{fill:#b00;font-size:10px}"
    ".bar{fill:#1f5fa8}.gate{stroke:#b00;stroke-width:1.5;stroke-dasharray:4 3}"
    ".axis{stroke:#888}.key span{display:inline-block;margin-right:4mm}";

}  // namespace

bool ReportHtml(const RecordReport& r, std::string* page, std::string* error) {
    std::map<std::string, Series> series[std::size(kCharted)];
    const bool read = ForEachRecordRow(
        r.files, error,
        [&](const std::string&, std::size_t, const RecordRow& row) {
            const std::int64_t t = RecordTimeSeconds(row.time);
            for (std::size_t i = 0; i < std::size(kCharted); ++i) {
                bool has = false;
                const unsigned v = ReportValue(row, kCharted[i], &has);
                if (has) series[i][term::CleanText(row.station)].Add(t, v);
            }
        },
        [](const std::string&, std::size_t, const std::string&) {});
    if (!read) return false;

    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'\"><title>Production record report</title><style>";
    h += kStyle;
    h += "</style></head><body>\n<section><h1>Production record report</h1><p>";
    h += std::to_string(r.rows) + " rows in " + std::to_string(r.files.size()) +
         (r.files.size() == 1 ? " file" : " files") + ", " + std::to_string(r.malformed) +
         " malformed (left out).</p><table><tr><th>file</th></tr>";
    for (const std::string& f : r.files) h += "<tr><td>" + Escaped(f) + "</td></tr>";
    h += "</table><div class=\"grid2\"><div>" + CountTable("result", r.results) + "</div><div>" +
         CountTable("station", r.stations) + "</div></div>";
    h += r.repeatedSerials.empty()
             ? "<p>No serial number was written more than once.</p>"
             : CountTable("serial number written more than once", r.repeatedSerials);
    if (r.malformed > 0) {
        h += "<table><tr><th>malformed row</th><th>why it was left out</th></tr>";
        for (const MalformedRow& m : r.malformedListed) {
            h += "<tr><td>" + Escaped(m.file) + ":" + std::to_string(m.line) + "</td><td>" +
                 Escaped(m.why) + "</td></tr>";
        }
        h += "</table>";
    }
    h += "</section>\n<section><h2>Captured values</h2><div class=\"grid2\">";
    for (std::size_t v = 0; v < kCapturedCount; ++v) h += Histogram(r.values[v], v);
    h += "</div></section>\n<section><h2>Fields written</h2><div class=\"grid3\">";
    for (std::size_t v = kCapturedCount; v < kReportValueCount; ++v) {
        h += Histogram(r.values[v], v);
    }
    h += "</div></section>\n<section><h2>Over time, by station</h2><p class=\"key\">";
    std::size_t colour = 0;
    for (const auto& [station, count] : r.stations) {
        h += "<span style=\"color:" + std::string(kColours[colour++ % std::size(kColours)]) +
             "\">&#9679; " + Escaped(station) + "</span>";
    }
    h += "</p><div class=\"grid2\">";
    for (std::size_t i = 0; i < std::size(kCharted); ++i) {
        h += OverTime(r.values[kCharted[i]].name, series[i]);
    }
    h += "</div></section>\n<section><h2>Rows more than 3.5 scaled MADs from the median</h2>"
         "<table><tr><th class=\"v\">value</th><th class=\"n\">is</th><th class=\"w\">time</th>"
         "<th>station</th><th>serial</th><th>row</th></tr>";
    for (const ValueFigures& f : r.values) {
        for (const ReportedRow& o : f.listed) {
            h += "<tr><td>" + f.name + "</td><td class=\"n\">" + std::to_string(o.value) +
                 "</td><td>" + Escaped(o.time) + "</td><td>" + Escaped(o.station) + "</td><td>" +
                 Escaped(o.serial) + "</td><td>" + Escaped(o.file) + ":" + std::to_string(o.line) +
                 "</td></tr>";
        }
        if (f.outliers > f.listed.size()) {
            h += "<tr><td>" + f.name + "</td><td colspan=\"5\">and " +
                 std::to_string(f.outliers - f.listed.size()) + " more</td></tr>";
        }
    }
    h += "</table></section>\n</body></html>\n";
    *page = std::move(h);
    return true;
}

}  // namespace service
