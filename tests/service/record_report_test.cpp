// The figures of the report over production records, and its two outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "service/record_report.h"
#include "service/report_text.h"
#include "service/service_commands.h"
#include "term/clean_text.h"

namespace {

namespace fs = std::filesystem;
using service::RecordRow;

RecordRow Row(std::uint16_t centreX, const std::string& serial, const std::string& station = "a",
              const std::string& result = "verified") {
    RecordRow row;
    row.time = "2026-12-08T04:30:" + std::to_string(10 + serial.size()) + "+01:00";
    row.station = station;
    row.version = "1.10";
    row.source = "dialog";
    row.serial = serial;
    row.vidPid = 0x04020F3D;
    row.result = result;
    row.captured = true;
    row.axes = {centreX, 32768, 128, 65280, 65535, 0};
    row.fields.MultInit_XN = static_cast<std::uint8_t>(centreX & 0xFF);
    return row;
}

class RecordReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder =
            fs::temp_directory_path() / ("kx9-report-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder);
    }
    std::string Put(const std::string& name, const std::vector<RecordRow>& rows,
                    const std::string& extra = "") {
        std::ofstream out(folder / name, std::ios::binary);
        out << service::kRecordHeader << "\r\n";
        for (const RecordRow& r : rows) out << service::FormatRecordRow(r);
        out << extra;
        return (folder / name).string();
    }
    fs::path folder;
};

TEST_F(RecordReportTest, FiguresFromCountsMergedOverFiles) {
    // center_x sorted: 100 ×4, 101, 102 ×2, 103, 200, 10000.
    const std::vector<RecordRow> first = {Row(100, "s1"), Row(100, "s2"), Row(100, "s3"),
                                          Row(100, "dup"), Row(101, "s5", "b")};
    const std::vector<RecordRow> second = {Row(102, "s6", "b", "read-back-differs"),
                                           Row(102, "dup"), Row(103, "s8"), Row(200, "s9"),
                                           Row(10000, "far")};
    RecordRow restore = Row(0, "dup", "c");
    restore.source = "restore";
    restore.captured = false;
    const std::string a = Put("a.csv", first, "cut,short");
    const std::string b = Put("b.csv", second);
    const std::string c = Put("c.csv", {restore});

    service::RecordReport r;
    std::string error;
    ASSERT_TRUE(service::BuildRecordReport({a, b, c}, &r, &error)) << error;
    EXPECT_EQ(r.rows, 11u);
    EXPECT_EQ(r.malformed, 1u);
    ASSERT_EQ(r.malformedListed.size(), 1u);
    EXPECT_EQ(r.malformedListed[0].line, 7u);
    EXPECT_EQ(r.results,
              (std::map<std::string, std::uint64_t>{{"read-back-differs", 1}, {"verified", 10}}));
    EXPECT_EQ(r.stations, (std::map<std::string, std::uint64_t>{{"a", 8}, {"b", 2}, {"c", 1}}));
    EXPECT_EQ(r.repeatedSerials, (std::map<std::string, std::uint64_t>{{"dup", 3}}));

    const service::ValueFigures& x = r.values[0];
    EXPECT_EQ(x.count, 10u) << "the restore captured nothing";
    EXPECT_EQ(x.min, 100u);
    EXPECT_EQ(x.max, 10000u);
    EXPECT_DOUBLE_EQ(x.median, 101.5);
    // Deviations 1.5 ×4, .5, .5 ×2, 1.5, 98.5, 9898.5: median 1.5.
    EXPECT_DOUBLE_EQ(x.mad, 1.5);
    // Out beyond 3.5 × 1.4826 × 1.5 = 7.78: 200 and 10000.
    EXPECT_EQ(x.outliers, 2u);
    ASSERT_EQ(x.listed.size(), 2u);
    EXPECT_EQ(x.listed[0].serial, "s9");
    EXPECT_EQ(x.listed[0].value, 200u);
    EXPECT_EQ(x.listed[1].file, b);
    EXPECT_EQ(x.listed[1].line, 6u);
    EXPECT_EQ(x.listed[1].time, Row(10000, "far").time);
    // A field with no spread: every value other than the median is out.
    const service::ValueFigures& edge = r.values[service::kCapturedCount + 2];
    EXPECT_EQ(edge.count, 11u);
    EXPECT_EQ(edge.outliers, 0u);
    const service::ValueFigures& up = r.values[2];
    EXPECT_TRUE(service::IsOutlier(up, 129));
    EXPECT_FALSE(service::IsOutlier(up, 128));

    // The text: the figures, the rows out, histograms no wider than asked.
    const std::string text = service::ReportText(r, 40);
    for (const char* part : {"Rows: 11 in 3 files, 1 malformed", "read-back-differs     1",
                             "dup                   3 rows", "a.csv:7: the last row is cut short",
                             "center_x 10000", "serial far", "center_x:\n", "MultInit_YP:\n"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\u2588") == std::string::npos) continue;
        EXPECT_LE(term::SplitGlyphs(line).size(), 40u) << line;
    }

    const nlohmann::json json = nlohmann::json::parse(service::ReportJson(r));
    EXPECT_EQ(json["rows"], 11);
    EXPECT_EQ(json["results"]["verified"], 10);
    EXPECT_EQ(json["repeated_serials"][0]["serial"], "dup");
    EXPECT_EQ(json["values"][0]["name"], "center_x");
    EXPECT_EQ(json["values"][0]["median"], 101.5);
    EXPECT_EQ(json["values"][0]["outlier_rows"][1]["serial"], "far");
    EXPECT_EQ(json["malformed_rows"][0]["line"], 7);
}

TEST(BlockHistogram, BinsFitTheColumnsAndTallestIsFull) {
    service::ValueFigures f;
    f.counts.assign(0x10000, 0);
    f.counts[1000] = 8;
    f.counts[1001] = 1;
    f.counts[2000] = 4;
    f.count = 13;
    f.min = 1000;
    f.max = 2000;
    const std::string h = service::BlockHistogram(f, 10, 1);
    // 1001 values in 10 bins: 1000..1100 holds 9 rows, 1900..2000 4 (3 eighths).
    EXPECT_EQ(h, "  \u2588        \u2583\n  1000  2000\n");
}

TEST_F(RecordReportTest, CommandExitsAndMessages) {
    const std::string good = Put("good.csv", {Row(100, "s1")});
    std::ofstream(folder / "other.csv") << "a,b\r\n";
    const struct {
        std::vector<std::string> files;
        bool json;
        int status;
        const char* said;
    } cases[] = {
        {{good}, false, 0, "Rows: 1 in 1 file"},
        {{good}, true, 0, "\"rows\": 1"},
        {{good, (folder / "missing.csv").string()}, false, 1, "cannot read"},
        {{(folder / "other.csv").string()}, false, 1, "is not a production record"},
        {{folder.string()}, false, 1, "cannot read"},
    };
    for (const auto& c : cases) {
        service::CommandRequest request;
        request.command = service::Command::kReport;
        request.records = c.files;
        request.json = c.json;
        std::ostringstream out, err;
        service::CommandEnvironment env;
        env.out = &out;
        env.err = &err;
        EXPECT_EQ(service::RunServiceCommand(request, env), c.status) << c.said;
        EXPECT_NE((out.str() + err.str()).find(c.said), std::string::npos)
            << out.str() << err.str();
        if (c.status != 0) {
            EXPECT_EQ(out.str(), "") << "no half report";
        }
    }
}

}  // namespace
