// Loading speed of the configuration reader at several file sizes; the
// figures should stay flat in MB/s, showing the load is linear in the size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "calib/calibration_file.h"

namespace {

void BM_LoadCalibrationFile(benchmark::State& state) {
    // A realistic file: the saved form of a record, repeated with extra
    // comments, so every branch of the scanner and parser carries its share.
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string unit = FormatCalibrationFile({0x4000, 0x3FC0, 0x0400, 0x20, 0x03, 0x07, 0x81,
                                                    0x82, 0x82, 0x80, 0x0200, 0x10, 0x02, 0x03}) +
                             "// tuning notes\r\nEdge_Size = 1024; /* x */\r\n";
    std::string text;
    while (text.size() < size) text += unit;
    const auto path = std::filesystem::temp_directory_path() /
                      ("kx9_calib_bench_" + std::to_string(size) + ".txt");
    std::ofstream(path, std::ios::binary) << text.substr(0, size);
    for (auto _ : state) {
        CalibrationRecord record{};
        if (!LoadCalibrationFile(std::fopen(path.string().c_str(), "rb"), record)) {
            state.SkipWithError("cannot read the input file");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    std::filesystem::remove(path);
}

BENCHMARK(BM_LoadCalibrationFile)->RangeMultiplier(4)->Range(64 << 10, 4 << 20);

}  // namespace

BENCHMARK_MAIN();
