// What `kx9calib report` costs on large records: rows per second and the
// peak memory, for 100,000 rows and then for 1,000,000 (rows of three
// stations, values spread as on a line, a few far out). The figures come
// from counts per value, so the peak should not grow with the rows, but for
// eight bytes a row that carries a serial number.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "service/record_report.h"

namespace {

std::string MakeRecord(std::size_t rows) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kx9-report-bench-" + std::to_string(rows) + ".csv"))
                                 .string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs((std::string(service::kRecordHeader) + "\r\n").c_str(), f);
    std::mt19937 random(7);
    std::normal_distribution<double> centre(32768, 250), extreme(600, 200);
    const auto clamp = [](double v) {
        return static_cast<std::uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
    };
    service::RecordRow row;
    row.version = "1.10";
    row.source = "dialog";
    row.device = "/dev/hidraw3";
    row.vidPid = 0x04020F3D;
    row.result = "verified";
    row.captured = true;
    row.fields = {0, 0, 1024, 32, 3, 7, 0, 0, 0, 0, 512, 16, 2, 3};
    row.configSha256 = std::string(64, 'c');
    for (std::size_t i = 0; i < rows; ++i) {
        row.time = "2026-12-08T04:30:12+01:00";
        row.station = "line-" + std::to_string(i % 3);
        row.serial = "SN" + std::to_string(i);
        const std::uint16_t cx = clamp(centre(random) + (i % 997 == 0 ? 900 : 0));
        const std::uint16_t cy = clamp(centre(random));
        row.axes = {cx,
                    cy,
                    clamp(extreme(random)),
                    clamp(65535 - extreme(random)),
                    clamp(65535 - extreme(random)),
                    clamp(extreme(random))};
        row.fields.Initial_Pos_X = cx >> 1;
        row.fields.Initial_Pos_Y = cy >> 1;
        row.fields.MultInit_XN = static_cast<std::uint8_t>(4194304 / (cx - row.axes[5] - 96) + 1);
        row.fields.MultInit_XP = static_cast<std::uint8_t>(4194304 / (row.axes[3] - cx - 96) + 1);
        row.fields.MultInit_YN = static_cast<std::uint8_t>(4194304 / (cy - row.axes[2] - 96) + 1);
        row.fields.MultInit_YP = static_cast<std::uint8_t>(4194304 / (row.axes[4] - cy - 96) + 1);
        std::fputs(service::FormatRecordRow(row).c_str(), f);
    }
    std::fclose(f);
    return path;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main() {
    for (const std::size_t rows : {std::size_t{100000}, std::size_t{1000000}}) {
        const std::string path = MakeRecord(rows);
        const auto bytes = std::filesystem::file_size(path);
        service::RecordReport report;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        const bool built = service::BuildRecordReport({path}, &report, &error);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::filesystem::remove(path);
        if (!built || report.rows != rows) {
            std::fprintf(stderr, "report failed: %s\n", error.c_str());
            return 1;
        }
        std::printf(
            "%8zu rows (%6.1f MB): %6.2f s, %9.0f rows/s, peak memory %6.1f MB, %llu "
            "centre_x rows out\n",
            rows, static_cast<double>(bytes) / 1e6, took.count(),
            static_cast<double>(rows) / took.count(), PeakKilobytes() / 1024.0,
            static_cast<unsigned long long>(report.values[0].outliers));
    }
    return 0;
}
