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

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double sent, read, lost, cpu;
};

// One dialog on the virtual window system, its link open on one stick.
struct Bench {
    explicit Bench(const sim::StickSettings& s) : stick(driver.AddStick(s)) {
        window.Open();  // no driver installed yet: its own discovery finds nothing
        plat::InstallHid(&driver);
        std::strcpy(dlg.m_szDevicePath,
                    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}");
        dlg.OpenLink();
        stick.WaitForPendingReads(1, std::chrono::seconds(10));
    }
    ~Bench() {
        dlg.CloseLink();
        window.Close();
        plat::InstallHid(nullptr);
    }
    // Over 2 s: reports/s sent and read, reports lost, and the process's CPU
    // in % of a core.
    Figures Measure() {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stick.ResetCounters();
        const std::clock_t c0 = std::clock();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double s = MsSince(t0) / 1000, cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
        return {double(stick.ReportsSent()) / s, double(stick.ReportsConsumed()) / s,
                double(stick.ReportsLost()), 100.0 * cpu / s};
    }

    plat::vws::Desktop desktop{plat::vws::Clock::kReal};
    sim::SimHidDriver driver;
    sim::VirtualStick& stick;
    CKx9JoystickCalibrationDlg dlg;
    plat::vws::DialogDriver window{dlg};
};

}  // namespace

int main() {
    // The last row makes the reader the bottleneck: a buffer deep enough that nothing is lost.
    const std::uint32_t runs[][2] = {{1000, 32},   {8000, 32},    {32000, 32},
                                     {128000, 32}, {1000000, 32}, {1000000, 1u << 24}};
    std::printf("reader, 64-byte reports: asked/s, buffered, sent/s, read/s, lost\n");
    for (const auto& [rate, buffered] : runs) {
        const Figures f = Bench({.reportsPerSecond = rate, .bufferedReports = buffered}).Measure();
        std::printf("%9u %9u %9.0f %9.0f %6.0f\n", rate, buffered, f.sent, f.read, f.lost);
    }

    Bench b({.reportsPerSecond = 0});
    const double waiting = b.Measure().cpu;  // blocked on its read: the baseline
    b.dlg.m_bPauseReader = 1;
    b.stick.SendReport();
    while (b.dlg.m_bReaderPaused == 0) std::this_thread::yield();
    const double parked = b.Measure().cpu;
    const auto r0 = Clock::now();
    b.dlg.m_bPauseReader = 0;
    while (b.dlg.m_bReaderPaused != 0) std::this_thread::yield();
    std::printf("process CPU: %.2f%% of a core parked, %.2f%% waiting; resumed after %.3f ms\n",
                parked, waiting, MsSince(r0));

    // A write's floor is its chunks x 250 ms; a read's, its attempts x the reply latency.
    const struct {
        bool write;
        std::uint16_t in, out;
        std::uint32_t latency;
        double floor;
    } transfers[] = {{true, 64, 9, 2, 1000},  {true, 64, 12, 2, 750},  {true, 64, 64, 2, 250},
                     {false, 64, 64, 1, 1},   {false, 64, 64, 50, 50}, {false, 12, 64, 1, 3},
                     {false, 12, 64, 50, 150}};
    for (const auto& t : transfers) {
        sim::StickSettings s{.inputReportLength = t.in, .outputReportLength = t.out};
        s.reportsPerSecond = 1000, s.replyLatencyMs = t.latency;
        Bench x(s);
        const auto t0 = Clock::now();
        const bool ok = t.write ? x.dlg.WriteEepromBlock() : x.dlg.ReadEepromBlock() == 1;
        std::printf("%s, input %2u, output %2u, latency %2u ms: %7.1f ms, floor %4.0f ms%s\n",
                    t.write ? "write" : "read", t.in, t.out, t.latency, MsSince(t0), t.floor,
                    ok ? "" : " (FAILED)");
    }
    return 0;
}
