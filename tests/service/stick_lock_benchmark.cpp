// What one user per stick costs a command: one take and one release of the
// stick's lock per link opened, on a device node (the null device stands in
// for the stick's) and on the lock file of the virtual stick's EEPROM.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "platform/stick_lock.h"

namespace {

void TakeAndRelease(benchmark::State& state, const std::string& path, bool makeMissing) {
    plat::StickLock lock;
    for (auto _ : state) {
        if (lock.Take(path, makeMissing) != plat::StickLockResult::kTaken) {
            state.SkipWithError("the lock could not be taken");
            break;
        }
        lock.Release();
    }
}

void BM_DeviceNodeLock(benchmark::State& state) {
    TakeAndRelease(state, "/dev/null", false);
}
BENCHMARK(BM_DeviceNodeLock);

void BM_EepromFileLock(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "kx9_lock_bench.bin.lock").string();
    TakeAndRelease(state, path, true);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EepromFileLock);

}  // namespace

BENCHMARK_MAIN();
