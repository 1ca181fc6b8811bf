// What one user per stick costs a command: one take and one release of the
// stick's lock per link opened, on a device node (the null device stands in
// for the stick's) and on the lock file of the virtual stick's EEPROM. The
// floor is opening and closing the same file, which a take cannot do
// without; x_floor is the take and release over it.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/stick_lock.h"

namespace {

using Clock = std::chrono::steady_clock;

void TakeAndRelease(benchmark::State& state, const std::string& path, bool makeMissing) {
    plat::StickLock lock;
    double taken = 0, floor = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (lock.Take(path, makeMissing) != plat::StickLockResult::kTaken) {
            state.SkipWithError("the lock could not be taken");
            break;
        }
        lock.Release();
        const auto t1 = Clock::now();
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        const auto t2 = Clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(seconds);
        taken += seconds;
        floor += std::chrono::duration<double>(t2 - t1).count();
    }
    if (state.iterations() > 0 && floor > 0) {
        state.counters["floor_us"] = 1e6 * floor / static_cast<double>(state.iterations());
        state.counters["x_floor"] = taken / floor;
    }
}

void BM_DeviceNodeLock(benchmark::State& state) {
    TakeAndRelease(state, "/dev/null", false);
}
BENCHMARK(BM_DeviceNodeLock)->UseManualTime();

void BM_EepromFileLock(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "kx9_lock_bench.bin.lock").string();
    TakeAndRelease(state, path, true);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EepromFileLock)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
