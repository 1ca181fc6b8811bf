// Loading speed of the configuration reader at several file sizes; the
// figures should stay flat in MB/s, showing the load is linear in the size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "calib/calibration_file.h"

namespace {

// A realistic file: the saved form of a record, repeated with extra comments,
// so every branch of the scanner and parser carries its share of the bytes.
std::string ConfigurationOfSize(std::size_t size) {
    const CalibrationRecord record{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                                   0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};
    const std::string unit =
        FormatCalibrationFile(record) + "// tuning notes\r\nEdge_Size = 1024; /* x */\r\n";
    std::string text;
    while (text.size() < size) text += unit;
    text.resize(size);
    return text;
}

void BM_LoadCalibrationFile(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kx9_calib_bench_" + std::to_string(size) + ".txt"))
                                 .string();
    {
        const std::string text = ConfigurationOfSize(size);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(text.data(), 1, size, out) != size) {
            state.SkipWithError("cannot write the input file");
            if (out != nullptr) std::fclose(out);
            return;
        }
        std::fclose(out);
    }
    for (auto _ : state) {
        CalibrationRecord record{};
        if (!LoadCalibrationFile(std::fopen(path.c_str(), "rb"), record)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
    std::remove(path.c_str());
}

BENCHMARK(BM_LoadCalibrationFile)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
