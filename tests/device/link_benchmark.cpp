// Figures for the link against the virtual stick, printed rather than
// asserted (the machines are shared): whether the reader keeps up with fast
// sticks, what a parked reader costs, and how long the block transfers take
// against their floors.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kPath[] = "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One dialog on the virtual window system with a stick of these settings.
struct Bench {
    explicit Bench(const sim::StickSettings& settings) {
        plat::InstallHid(nullptr);
        window.Open();
        stick = &driver.AddStick(settings);
        plat::InstallHid(&driver);
        std::strcpy(dlg.m_szDevicePath, kPath);
        dlg.OpenLink();
    }
    ~Bench() {
        dlg.CloseLink();
        window.Close();
        plat::InstallHid(nullptr);
    }

    plat::vws::Desktop desktop{plat::vws::Clock::kReal};
    sim::SimHidDriver driver;
    CKx9JoystickCalibrationDlg dlg;
    plat::vws::DialogDriver window{dlg};
    sim::VirtualStick* stick = nullptr;
};

sim::StickSettings Settings(std::uint16_t in, std::uint16_t out, std::uint32_t rate,
                            std::uint32_t latency = 2) {
    sim::StickSettings s;
    s.inputReportLength = in;
    s.outputReportLength = out;
    s.reportsPerSecond = rate;
    s.replyLatencyMs = latency;
    return s;
}

void ReaderThroughput() {
    std::printf("reader throughput, 2 s per rate, 64-byte reports, buffer of 32:\n");
    std::printf("  %10s %10s %10s %10s %10s %8s\n", "asked/s", "sent/s", "sent", "read", "lost",
                "lost %");
    for (std::uint32_t rate : {1000u, 8000u, 32000u, 64000u, 96000u, 128000u, 1000000u}) {
        Bench b(Settings(64, 64, rate));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        b.stick->ResetCounters();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double sent = static_cast<double>(b.stick->ReportsSent());
        const double read = static_cast<double>(b.stick->ReportsConsumed());
        const double lost = static_cast<double>(b.stick->ReportsLost());
        std::printf("  %10u %10.0f %10.0f %10.0f %10.0f %8.3f\n", rate, sent / 2, sent, read, lost,
                    sent > 0 ? 100.0 * lost / sent : 0.0);
    }
    // What the reader drains when it is the bottleneck: the stick as fast as
    // it goes, with a buffer deep enough that nothing is lost.
    sim::StickSettings deep = Settings(64, 64, 1000000);
    deep.bufferedReports = 1u << 24;
    Bench b(deep);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    b.stick->ResetCounters();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf(
        "  reader's own ceiling (deep buffer): %.0f reports/s read while the stick sent "
        "%.0f/s\n",
        static_cast<double>(b.stick->ReportsConsumed()) / 2,
        static_cast<double>(b.stick->ReportsSent()) / 2);
}

double ProcessCpuPercentOver2s() {
    const std::clock_t c0 = std::clock();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    return 100.0 * cpuMs / MsSince(t0);
}

void ParkedReaderCpu() {
    Bench b(Settings(64, 64, 0));
    b.stick->WaitForPendingReads(1, std::chrono::seconds(10));
    // The same process with the reader blocked on its read: the baseline.
    const double waiting = ProcessCpuPercentOver2s();
    b.dlg.m_bPauseReader = 1;
    b.stick->SendReport();
    while (b.dlg.m_bReaderPaused == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double parked = ProcessCpuPercentOver2s();
    // How soon a cleared flag is seen.
    const auto r0 = Clock::now();
    b.dlg.m_bPauseReader = 0;
    while (b.dlg.m_bReaderPaused != 0) std::this_thread::yield();
    const double resumeMs = MsSince(r0);
    std::printf(
        "parked reader, process CPU over 2 s: %.2f%% of a core parked, %.2f%% with the "
        "reader waiting for a report; cleared flag seen after %.3f ms\n",
        parked, waiting, resumeMs);
}

void BlockWrite() {
    std::printf("block write against its floor of chunks x 250 ms:\n");
    for (std::uint16_t out : {9, 12, 64}) {
        Bench b(Settings(64, out, 1000));
        const int chunks = (18 + (out - 4) - 1) / (out - 4);
        const auto t0 = Clock::now();
        const bool ok = b.dlg.WriteEepromBlock();
        const double ms = MsSince(t0);
        const double floor = 250.0 * chunks;
        std::printf("  output %3u: %d chunks, %7.1f ms, floor %6.0f ms, +%.2f%%%s\n", out, chunks,
                    ms, floor, 100.0 * (ms - floor) / floor, ok ? "" : " (FAILED)");
    }
}

void BlockRead() {
    std::printf("block read against the reply latency (1000 reports/s to park):\n");
    for (std::uint16_t in : {64, 12}) {
        for (std::uint32_t latency : {1u, 10u, 50u}) {
            Bench b(Settings(in, 64, 1000, latency));
            b.stick->WaitForPendingReads(1, std::chrono::seconds(10));
            const auto t0 = Clock::now();
            const int ok = b.dlg.ReadEepromBlock();
            const double ms = MsSince(t0);
            const int attempts = in == 64 ? 1 : 3;
            std::printf(
                "  input %2u, latency %2u ms: %d attempts, %6.1f ms (%.1f ms per attempt "
                "over the latency)%s\n",
                in, latency, attempts, ms, ms / attempts - latency, ok ? "" : " (FAILED)");
        }
    }
}

}  // namespace

// "throughput" runs the reader figures alone (to repeat them on a busy
// machine); no argument runs everything.
int main(int argc, char** argv) {
    ReaderThroughput();
    if (argc > 1 && std::strcmp(argv[1], "throughput") == 0) return 0;
    ParkedReaderCpu();
    BlockWrite();
    BlockRead();
    return 0;
}
