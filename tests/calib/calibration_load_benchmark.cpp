// Loading speed of the configuration reader: the saved form of one record
// (the file as the tool writes it, about 0.6 KB) and files of 64 KiB to
// 4 MiB, whose rates should stay flat, showing the load is linear in the
// size. Times are wall-clock; each size's floor is reading the same file's
// bytes and nothing else, and x_floor the load's time over it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "calib/calibration_file.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bytes of the file, read and dropped: what any load costs at least.
bool ReadOnly(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    char buffer[64 << 10];
    while (std::fread(buffer, 1, sizeof buffer, file) == sizeof buffer) {
    }
    benchmark::DoNotOptimize(buffer);
    std::fclose(file);
    return true;
}

// Range 0: the saved form of one record; otherwise a file of that many
// bytes.
void BM_LoadCalibrationFile(benchmark::State& state) {
    // A realistic file: the saved form of a record, repeated with extra
    // comments, so every branch of the scanner and parser carries its share.
    const std::string saved = FormatCalibrationFile({0x4000, 0x3FC0, 0x0400, 0x20, 0x03, 0x07, 0x81,
                                                     0x82, 0x82, 0x80, 0x0200, 0x10, 0x02, 0x03});
    const std::string unit = saved + "// tuning notes\r\nEdge_Size = 1024; /* x */\r\n";
    const auto size = state.range(0) == 0 ? saved.size() : static_cast<std::size_t>(state.range(0));
    std::string text = state.range(0) == 0 ? saved : std::string();
    while (text.size() < size) text += unit;
    const auto path = std::filesystem::temp_directory_path() /
                      ("kx9_calib_bench_" + std::to_string(size) + ".txt");
    std::ofstream(path, std::ios::binary) << text.substr(0, size);
    const std::string name = path.string();
    double load = 0, floor = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        CalibrationRecord record{};
        if (!LoadCalibrationFile(std::fopen(name.c_str(), "rb"), record)) {
            state.SkipWithError("cannot read the input file");
            break;
        }
        benchmark::DoNotOptimize(record);
        const auto t1 = Clock::now();
        ReadOnly(name.c_str());
        const auto t2 = Clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(seconds);
        load += seconds;
        floor += std::chrono::duration<double>(t2 - t1).count();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    if (state.iterations() > 0 && floor > 0) {
        state.counters["bytes"] = static_cast<double>(size);
        state.counters["floor_us"] = 1e6 * floor / static_cast<double>(state.iterations());
        state.counters["x_floor"] = load / floor;
    }
    std::filesystem::remove(path);
}

BENCHMARK(BM_LoadCalibrationFile)
    ->Arg(0)
    ->RangeMultiplier(4)
    ->Range(64 << 10, 4 << 20)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
