// Figures for the link, printed rather than asserted (the machines are
// shared), each beside its floor and the ratio: what the reader thread costs
// per report on the virtual stick and through the hidraw driver (CPU,
// wake-ups, allocations), parked and idle; whether it keeps up with fast
// sticks; how old the axis values are when the wizard judges them; how long
// the block transfers take; and what a read costs on a pulled stick.
#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/hidraw_driver.h"
#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "tests/hidraw/fake_firmware.h"
#include "ui/kx9_joystick_calibration_dlg.h"

// Every allocation of the process, counted: the reader's loop must make none.
namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Ratio(double figure, double floor) {
    return floor > 0 ? figure / floor : 0;
}

std::set<pid_t> Threads() {
    std::set<pid_t> tids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') tids.insert(std::atoi(entry->d_name));
        }
        ::closedir(dir);
    }
    return tids;
}

std::string TaskFile(pid_t tid, const char* file) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/%s", static_cast<int>(tid), file);
    return path;
}

std::string ThreadName(pid_t tid) {
    std::string name;
    std::ifstream comm(TaskFile(tid, "comm"));
    std::getline(comm, name);
    return name;
}

// One thread's CPU time and voluntary context switches: each is one sleep,
// so their count is the thread's wake-ups (preemptions are not counted).
struct ThreadUse {
    double cpuMs = 0;
    std::uint64_t switches = 0;
};

ThreadUse Use(pid_t tid) {
    ThreadUse use;
    // The kernel's per-thread CPU clock of another thread of this process.
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (::clock_gettime(clock, &ts) == 0) use.cpuMs = ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    std::ifstream status(TaskFile(tid, "status"));
    for (std::string line; std::getline(status, line);) {
        const auto colon = line.find(':');
        if (line.rfind("voluntary_ctxt_switches", 0) == 0 && colon != std::string::npos) {
            use.switches += std::strtoull(line.c_str() + colon + 1, nullptr, 10);
        }
    }
    return use;
}

// What the reader thread did over a stretch: % of a core, wake-ups a
// second, allocations of the whole process per report read.
struct ReaderFigures {
    double cpu, wakeups, allocations, sent, read;
    std::uint64_t allocationsTotal;
};

// One dialog on the virtual window system; its link is opened by the
// owner, on the virtual stick or through the hidraw driver.
struct Dialog {
    Dialog() { window.Open(); }  // no driver installed yet: discovery finds nothing
    ~Dialog() {
        dlg.CloseLink();
        window.Close();
        plat::InstallHid(nullptr);
    }
    void Open(plat::HidDriver& driver, const char* path) {
        plat::InstallHid(&driver);
        std::strcpy(dlg.m_szDevicePath, path);
        before = Threads();
        dlg.OpenLink();
    }
    // The reader, once it runs: the thread named for it, else the newest
    // that the open started.
    void FindReader() {
        for (const pid_t tid : Threads()) {
            if (before.count(tid) != 0) continue;
            if (reader == 0 || tid > reader) reader = tid;
            if (ThreadName(tid) == "kx9-reader") {
                reader = tid;
                named = true;
                break;
            }
        }
    }
    // Over `seconds`: the reader's share; `counts` gives reports sent and
    // read so far.
    template <class Counts>
    ReaderFigures Measure(double seconds, Counts counts) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (reader == 0) FindReader();
        const auto [sent0, read0] = counts();
        const ThreadUse u0 = Use(reader);
        const std::uint64_t a0 = g_allocations.load();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const double s = MsSince(t0) / 1000;
        const std::uint64_t allocations = g_allocations.load() - a0;
        const ThreadUse u1 = Use(reader);
        const auto [sent1, read1] = counts();
        const double read = double(read1 - read0);
        return {100.0 * (u1.cpuMs - u0.cpuMs) / 1000 / s,
                double(u1.switches - u0.switches) / s,
                read > 0 ? double(allocations) / read : double(allocations),
                double(sent1 - sent0) / s,
                read / s,
                allocations};
    }
    void Park() {
        dlg.m_bPauseReader = 1;
        while (dlg.m_bReaderPaused == 0) std::this_thread::yield();
    }

    plat::vws::Desktop desktop{plat::vws::Clock::kReal};
    CKx9JoystickCalibrationDlg dlg;
    plat::vws::DialogDriver window{dlg};
    std::set<pid_t> before;
    pid_t reader = 0;
    bool named = false;
};

constexpr const char* kSimPath =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The dialog's link open on one virtual stick.
struct Bench : Dialog {
    explicit Bench(const sim::StickSettings& s) : stick(driver.AddStick(s)) {
        Open(driver, kSimPath);
        stick.WaitForPendingReads(1, std::chrono::seconds(10));
    }
    // The reader stops before the driver it reads from goes.
    ~Bench() { dlg.CloseLink(); }
    ReaderFigures Measure(double seconds = 2) {
        return Dialog::Measure(seconds, [this] {
            return std::pair<std::uint64_t, std::uint64_t>(stick.ReportsSent(),
                                                           stick.ReportsConsumed());
        });
    }
    // A reader that parks only after its next report gets one.
    void Park() {
        dlg.m_bPauseReader = 1;
        stick.SendReport();
        Dialog::Park();
    }

    sim::SimHidDriver driver;
    sim::VirtualStick& stick;
};

// A stick behind a stand-in hidraw node: 12-byte axis reports `rate` a
// second from a thread of its own, paced on the clock.
struct HidrawBench : Dialog {
    explicit HidrawBench(std::uint32_t rate) {
        const hidraw_test::Bytes descriptor = hidraw_test::StickDescriptor(12, 9);
        listener = tree.Add(0, "0003:00000F3D:00000402", descriptor);
        sender = std::thread([this, rate] { Send(rate); });
        Open(*hidraw, tree.node(0).c_str());
    }
    ~HidrawBench() {
        dlg.CloseLink();
        stop = true;
        sender.join();
    }
    void Send(std::uint32_t rate) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
        std::uint8_t report[12] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0x80};
        auto next = Clock::now();
        while (!stop) {
            next += period;
            std::this_thread::sleep_until(next);
            if (Clock::now() - next > std::chrono::milliseconds(50)) next = Clock::now();
            if (::send(fd, report, sizeof report, MSG_DONTWAIT | MSG_NOSIGNAL) == 12) ++sent;
        }
        ::close(fd);
    }
    ReaderFigures Measure(double seconds = 2) {
        return Dialog::Measure(seconds, [this] {
            // Every report sent is read or still queued: the queue is short.
            return std::pair<std::uint64_t, std::uint64_t>(sent.load(), sent.load());
        });
    }

    hidraw_test::FakeTree tree;
    std::unique_ptr<plat::HidrawDriver> hidraw = plat::MakeHidrawDriver(tree.sys(), tree.dev());
    int listener = -1;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> sent{0};
    std::thread sender;
};

void PrintReader(const char* what, std::uint32_t rate, const ReaderFigures& f) {
    std::printf(
        "%-14s %5u/s: reader %5.2f%% of a core (goal under 2%%), %6.0f wake-ups/s "
        "(floor %5u, %4.2fx), %.3f allocations per report (floor 0)\n",
        what, rate, f.cpu, f.wakeups, rate, Ratio(f.wakeups, rate), f.allocations);
}

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

// Reports `rate` a second, each carrying its number in X. One hop is the
// time from sending a report to its publication, the sender watching for
// it; a hop that takes 50 ms is counted as timed out, not as a figure. The
// age the wizard sees is sampled at random moments from a second thread:
// the time since the report whose X is published was sent, which holds
// the time since the last report, half a period on average.
void AxisAge(std::uint32_t rate) {
    Bench b({.reportsPerSecond = 0});
    const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
    std::vector<double> hops, ages;
    std::vector<std::atomic<std::int64_t>> sentAt(65536);
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        std::mt19937 random(rate);
        std::uniform_int_distribution<std::int64_t> pause(0, 2 * period.count());
        while (!done) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(pause(random)));
            const std::uint16_t x = b.dlg.m_nCurX;
            const std::int64_t at = sentAt[x].load();
            if (at == 0) continue;
            const std::int64_t now = Clock::now().time_since_epoch().count();
            ages.push_back(
                std::chrono::duration<double, std::micro>(Clock::duration(now - at)).count());
        }
    });
    int timeouts = 0;
    const auto start = Clock::now();
    std::uint32_t n = 1;
    for (; Clock::now() - start < std::chrono::seconds(2); ++n) {
        std::this_thread::sleep_until(start + n * period);
        const auto x = static_cast<std::uint16_t>(n);
        b.stick.SetAxes(x, 0);
        const auto sent = Clock::now();
        sentAt[x] = sent.time_since_epoch().count();
        b.stick.SendReport();
        while (b.dlg.m_nCurX != x && Clock::now() - sent < std::chrono::milliseconds(50)) {
            std::this_thread::yield();
        }
        const double hop = std::chrono::duration<double, std::micro>(Clock::now() - sent).count();
        if (b.dlg.m_nCurX == x) {
            hops.push_back(hop);
        } else {
            ++timeouts;
        }
    }
    done = true;
    sampler.join();
    std::sort(hops.begin(), hops.end());
    std::sort(ages.begin(), ages.end());
    const double half = 500000.0 / rate;
    if (ages.empty() || hops.empty()) return;
    std::printf(
        "axis age, %5u reports/s (%5.0f sent): %6.1f us median (floor %5.1f us, half the "
        "period: %4.2fx), 99th %7.1f us; one hop %5.1f us median, %d timed out\n",
        rate, (n - 1) / (MsSince(start) / 1000), ages[ages.size() / 2], half,
        Ratio(ages[ages.size() / 2], half), ages[ages.size() * 99 / 100], hops[hops.size() / 2],
        timeouts);
}

// A block read (one reply at input 64) on a stick answering in `latency`
// ms and streaming `rate` reports a second: median of 5 reads.
void Dump(std::uint32_t rate, std::uint32_t latency) {
    sim::StickSettings s{.inputReportLength = 64, .outputReportLength = 64};
    s.reportsPerSecond = rate, s.replyLatencyMs = latency;
    Bench x(s);
    std::vector<double> ms;
    bool ok = true;
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CalibrationBlock block{};
        const auto t0 = Clock::now();
        ok = ok && x.dlg.FetchEepromBlock(&block) == EepromOutcome::kDone;
        ms.push_back(MsSince(t0));
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "block read, %4u reports/s, latency %u ms: %5.1f ms median (floor %u ms, %5.2fx; "
        "goal: floor + 5 ms)%s\n",
        rate, latency, ms[2], latency, Ratio(ms[2], latency), ok ? "" : " (FAILED)");
}

}  // namespace

// With "reader", only the reader's own figures (the first two blocks).
int main(int argc, char** argv) {
    const bool readerOnly = argc > 1 && std::strcmp(argv[1], "reader") == 0;
    for (const std::uint32_t rate : {1000u, 8000u}) {
        Bench b({.reportsPerSecond = rate});
        PrintReader("virtual stick", rate, b.Measure());
        if (rate == 8000) {
            std::printf("reader thread %s\n",
                        b.named ? "named kx9-reader" : "unnamed (found as the newest thread)");
        }
    }
    for (const std::uint32_t rate : {1000u, 8000u}) {
        HidrawBench b(rate);
        PrintReader("hidraw", rate, b.Measure());
    }
    {
        Bench b({.reportsPerSecond = 1000});
        b.Park();
        const ReaderFigures parked = b.Measure();
        b.dlg.m_bPauseReader = 0;
        b.stick.SetSettings({.reportsPerSecond = 0});
        const ReaderFigures idle = b.Measure();
        std::printf(
            "reader parked (1000 reports/s): %.3f%% of a core, %.1f wake-ups/s (floor 0); "
            "idle (no reports): %.3f%%, %.1f wake-ups/s (floor 0); allocations per report "
            "while parked: %.3f (floor 0)\n",
            parked.cpu, parked.wakeups, idle.cpu, idle.wakeups,
            parked.sent > 0 ? double(parked.allocationsTotal) / (parked.sent * 2) : 0);
    }
    if (readerOnly) return 0;

    const std::uint32_t rates[] = {1000, 8000, 32000, 128000, 1000000};
    std::printf(
        "reader keeping up, 64-byte reports, 32 buffered: asked/s, sent/s (the virtual "
        "stick's timer), read/s, read/sent (floor 1), lost\n");
    for (const std::uint32_t rate : rates) {
        Bench b({.reportsPerSecond = rate, .bufferedReports = 32});
        const std::uint64_t lost0 = b.stick.ReportsLost();
        const ReaderFigures f = b.Measure();
        std::printf("%9u %9.0f %9.0f %6.4f %9llu\n", rate, f.sent, f.read, Ratio(f.read, f.sent),
                    static_cast<unsigned long long>(b.stick.ReportsLost() - lost0));
    }
    const double capacity = ReaderCapacity(200000);
    std::printf("reader capacity, 200000 reports waiting: %.0f reports/s, %.0f ns a report\n",
                capacity, 1e9 / capacity);
    AxisAge(1000);
    AxisAge(8000);

    for (const std::uint32_t rate : {125u, 1000u, 8000u}) Dump(rate, 2);

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
        const double ms = MsSince(t0);
        std::printf(
            "%s, input %2u, output %2u, latency %3u ms: %7.1f ms, floor %4.0f ms, %5.2fx%s\n",
            t.write ? "write" : "read", t.in, t.out, t.latency, ms, t.floor, Ratio(ms, t.floor),
            ok ? "" : " (FAILED)");
    }

    // What the read-back adds to each stick: the 250 ms the stick gets to
    // store the last chunk, then the read, against the stick's reply
    // latency (one reply holds the block at input 64, three at input 12).
    std::printf("read-back per stick, output 64 (one chunk): 250 ms, then the read\n");
    for (const std::uint16_t in : {12, 64}) {
        const double replies = in == 12 ? 3 : 1;
        for (const std::uint32_t latency : {2u, 20u, 100u, 400u, 600u}) {
            sim::StickSettings s{.inputReportLength = in, .outputReportLength = 64};
            s.reportsPerSecond = 1000, s.replyLatencyMs = latency;
            Bench x(s);
            CalibrationBlock block{};
            const auto t0 = Clock::now();
            const bool ok = x.dlg.StoreEepromBlock(block) == EepromOutcome::kDone;
            const double read = MsSince(t0) - 2 * 250.0, floor = replies * latency;
            std::printf("input %2u, latency %3u ms: read %7.1f ms, floor %5.0f ms, %5.2fx%s\n", in,
                        latency, read, floor, Ratio(read, floor), ok ? "" : " (FAILED)");
        }
    }

    // READ EEPROM on a stick pulled after the link opened: every write and
    // read fails at once, and the first attempt's 500 ms window still runs
    // its course.
    {
        Bench b({.reportsPerSecond = 1000});
        b.stick.Unplug();
        b.stick.ResetCounters();
        const std::clock_t c0 = std::clock();
        const auto t0 = Clock::now();
        const bool ok = b.dlg.ReadEepromBlock() == 1;
        const double ms = MsSince(t0), cpu = 1000.0 * double(std::clock() - c0) / CLOCKS_PER_SEC;
        std::printf(
            "read on a pulled stick: %.0f ms (floor 500 ms, %4.2fx), process CPU %.0f ms "
            "(%.1f%% of a core), %llu writes, %llu reads%s\n",
            ms, Ratio(ms, 500), cpu, 100 * cpu / ms,
            static_cast<unsigned long long>(b.stick.WritesStarted()),
            static_cast<unsigned long long>(b.stick.ReadsStarted()), ok ? " (READ SUCCEEDED)" : "");
    }
    return 0;
}
