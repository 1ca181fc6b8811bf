// Figures for the link against the virtual stick, printed rather than
// asserted (the machines are shared): whether the reader keeps up with fast
// sticks and how fast it drains on its own, how old the axis values are when
// the wizard can judge them, what a parked reader costs, how long the block
// transfers take against their floors, what the read-back adds to a write,
// and what a read costs on a stick that has been pulled.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

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
    void Park() {
        dlg.m_bPauseReader = 1;
        stick.SendReport();  // the reader parks after its next report
        while (dlg.m_bReaderPaused == 0) std::this_thread::yield();
    }

    plat::vws::Desktop desktop{plat::vws::Clock::kReal};
    sim::SimHidDriver driver;
    sim::VirtualStick& stick;
    CKx9JoystickCalibrationDlg dlg;
    plat::vws::DialogDriver window{dlg};
};

// The reader alone: reports already waiting when it is let go, so nothing
// but its own work (read, copy, publish, the capture rule) sets the pace.
double ReaderCapacity(std::uint64_t reports) {
    Bench b({.reportsPerSecond = 0, .bufferedReports = 1u << 24});
    b.Park();
    for (std::uint64_t i = 0; i < reports; ++i) b.stick.SendReport();
    b.stick.ResetCounters();
    const auto t0 = Clock::now();
    b.dlg.m_bPauseReader = 0;
    while (b.stick.ReportsConsumed() < reports) std::this_thread::yield();
    return double(reports) / (MsSince(t0) / 1000);
}

// From the stick sending a report to its axes being published, for reports
// `rate` a second over 2 s: each report carries its own number in X and Y,
// and the sender watches for it before the next is due.
void AxisAge(std::uint32_t rate) {
    Bench b({.reportsPerSecond = 0});
    const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
    std::vector<double> ages;
    const auto start = Clock::now();
    std::uint32_t n = 1;
    for (; Clock::now() - start < std::chrono::seconds(2); ++n) {
        std::this_thread::sleep_until(start + n * period);
        const auto x = static_cast<std::uint16_t>(n), y = static_cast<std::uint16_t>(n >> 16);
        b.stick.SetAxes(x, y);
        const auto sent = Clock::now();
        b.stick.SendReport();
        while ((b.dlg.m_nCurX != x || b.dlg.m_nCurY != y) &&
               Clock::now() - sent < std::chrono::milliseconds(50)) {
            std::this_thread::yield();
        }
        ages.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    std::sort(ages.begin(), ages.end());
    std::printf("axis age, %5u reports/s asked (%5.0f sent): median %6.1f us, 99th %7.1f us\n",
                rate, ages.size() / (MsSince(start) / 1000), ages[ages.size() / 2],
                ages[ages.size() * 99 / 100]);
}

}  // namespace

int main() {
    const std::uint32_t rates[] = {1000, 8000, 32000, 128000, 1000000};
    std::printf("reader keeping up, 64-byte reports, 32 buffered: asked/s, sent/s, read/s, lost\n");
    for (const std::uint32_t rate : rates) {
        const Figures f = Bench({.reportsPerSecond = rate, .bufferedReports = 32}).Measure();
        std::printf("%9u %9.0f %9.0f %6.0f\n", rate, f.sent, f.read, f.lost);
    }
    std::printf("reader capacity, 200000 reports waiting: %.0f reports/s\n",
                ReaderCapacity(200000));
    AxisAge(1000);
    AxisAge(8000);

    {
        Bench b({.reportsPerSecond = 0});
        const double waiting = b.Measure().cpu;  // blocked on its read: the baseline
        b.Park();
        const double parked = b.Measure().cpu;
        const auto r0 = Clock::now();
        b.dlg.m_bPauseReader = 0;
        while (b.dlg.m_bReaderPaused != 0) std::this_thread::yield();
        std::printf("process CPU: %.2f%% of a core parked, %.2f%% waiting; resumed after %.3f ms\n",
                    parked, waiting, MsSince(r0));
    }

    // A write's floor is its chunks x 250 ms plus the 250 ms before the
    // read-back; a read's, its attempts x the reply latency.
    const struct {
        bool write;
        std::uint16_t in, out;
        std::uint32_t latency;
        double floor;
    } transfers[] = {{true, 64, 9, 2, 1250},   {true, 64, 12, 2, 1000},   {true, 64, 64, 2, 500},
                     {false, 64, 64, 1, 1},    {false, 64, 64, 50, 50},   {false, 12, 64, 1, 3},
                     {false, 12, 64, 50, 150}, {false, 12, 64, 600, 1800}};
    for (const auto& t : transfers) {
        sim::StickSettings s{.inputReportLength = t.in, .outputReportLength = t.out};
        s.reportsPerSecond = 1000, s.replyLatencyMs = t.latency;
        Bench x(s);
        const auto t0 = Clock::now();
        const bool ok = t.write ? x.dlg.WriteEepromBlock() : x.dlg.ReadEepromBlock() == 1;
        std::printf("%s, input %2u, output %2u, latency %3u ms: %7.1f ms, floor %4.0f ms%s\n",
                    t.write ? "write" : "read", t.in, t.out, t.latency, MsSince(t0), t.floor,
                    ok ? "" : " (FAILED)");
    }

    // What the read-back adds to each stick: the 250 ms the stick gets to
    // store the last chunk, then the read, against the stick's reply
    // latency (one reply holds the block at input 64, three at input 12).
    std::printf("read-back per stick, output 64 (one chunk): 250 ms, then the read\n");
    for (const std::uint16_t in : {12, 64}) {
        for (const std::uint32_t latency : {2u, 20u, 100u, 400u, 600u}) {
            sim::StickSettings s{.inputReportLength = in, .outputReportLength = 64};
            s.reportsPerSecond = 1000, s.replyLatencyMs = latency;
            Bench x(s);
            CalibrationBlock block{};
            const auto t0 = Clock::now();
            const bool ok = x.dlg.StoreEepromBlock(block) == EepromOutcome::kDone;
            const double read = MsSince(t0) - 2 * 250.0;
            std::printf("input %2u, latency %3u ms: read %7.1f ms = %5.2f x latency%s\n", in,
                        latency, read, read / latency, ok ? "" : " (FAILED)");
        }
    }

    // READ EEPROM on a stick pulled after the link opened: every write and
    // read fails at once, and the time limits still run their course.
    {
        Bench b({.reportsPerSecond = 1000});
        b.stick.Unplug();
        b.stick.ResetCounters();
        const std::clock_t c0 = std::clock();
        const auto t0 = Clock::now();
        const bool ok = b.dlg.ReadEepromBlock() == 1;
        const double ms = MsSince(t0), cpu = 1000.0 * double(std::clock() - c0) / CLOCKS_PER_SEC;
        std::printf(
            "read on a pulled stick: %.0f ms, process CPU %.0f ms (%.1f%% of a core), "
            "%llu writes, %llu reads%s\n",
            ms, cpu, 100 * cpu / ms, static_cast<unsigned long long>(b.stick.WritesStarted()),
            static_cast<unsigned long long>(b.stick.ReadsStarted()), ok ? " (READ SUCCEEDED)" : "");
    }
    return 0;
}
