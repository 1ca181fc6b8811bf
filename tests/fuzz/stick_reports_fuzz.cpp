// Reports of any length and content from the virtual stick, first through
// the reader into the dialog's input buffer and axes, then as the replies an
// EEPROM read sorts through. The input: two bytes of input report length,
// then reports, each a length byte and its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "device/hid_exchange.h"
#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "tests/fuzz/fuzz_check.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

using Report = std::vector<std::uint8_t>;

constexpr auto kLimit = std::chrono::milliseconds(20000);
constexpr std::size_t kMaxReports = 64;
constexpr int kReadAttempts = 9;
// The stick's path as discovery would have found it.
constexpr char kPath[] =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The capture rule reads the step texts, so the dialog has a window; one
// for the whole run.
struct Window {
    plat::vws::Desktop desktop{plat::vws::Clock::kReal};
    CKx9JoystickCalibrationDlg dlg;
    plat::vws::DialogDriver driver{dlg};
    Window() { FUZZ_CHECK(driver.Open()); }
};

// What the reader leaves in the input buffer: each report over the last,
// as far as it reaches.
void Overlay(std::vector<std::uint8_t>& buffer, const Report& r) {
    std::copy_n(r.begin(), std::min(r.size(), buffer.size()), buffer.begin());
}

// The block an EEPROM read must assemble from `queue`, all of it arriving
// after the first request: each attempt passes over reports until one of
// id 2, which answers its request, and takes the data bytes it carries.
bool ExpectedBlock(std::deque<Report> queue, std::uint32_t length, CalibrationBlock* block) {
    if (length < hidlink::kMinInputReportLength) return false;
    int received = 0;
    for (int attempt = 0; attempt < kReadAttempts && received < kCalibBlockSize; ++attempt) {
        for (;;) {
            if (queue.empty()) return false;
            const Report r = queue.front();
            queue.pop_front();
            if (r.empty() || r[0] != sim::kReportIdEepromData) continue;
            const std::size_t got = std::min<std::size_t>(r.size(), length);
            for (std::size_t i = 4; i < got && received < kCalibBlockSize; ++i) {
                (*block)[static_cast<std::size_t>(received++)] = r[i];
            }
            break;
        }
    }
    return received == kCalibBlockSize;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static Window* window = new Window;  // never torn down: the run ends with the process
    CKx9JoystickCalibrationDlg& dlg = window->dlg;

    const std::uint16_t length = static_cast<std::uint16_t>((data[0] | data[1] << 8) & 0x3FF);
    std::vector<Report> reports;
    for (std::size_t pos = 2; pos < size && reports.size() < kMaxReports;) {
        const std::size_t n = std::min<std::size_t>(data[pos], size - pos - 1);
        reports.emplace_back(data + pos + 1, data + pos + 1 + n);
        pos += 1 + n;
    }

    auto hid = std::make_unique<sim::SimHidDriver>();
    plat::InstallHid(hid.get());
    sim::VirtualStick& stick = hid->AddStick({.inputReportLength = length,
                                              .outputReportLength = 8,
                                              .reportsPerSecond = 0,
                                              .bufferedReports = kMaxReports + kReadAttempts + 1});
    // Only the reports of the input answer a read request.
    stick.SetFaults({.dropReplies = sim::StickFaults::kAlways, .writesCompleteAtOnce = true});
    std::strcpy(dlg.m_szDevicePath, kPath);
    dlg.OpenLink();
    FUZZ_CHECK(dlg.m_nInBufLen.load() == length);
    FUZZ_CHECK(stick.WaitForPendingReads(1, kLimit));

    std::vector<std::uint8_t> buffer(length, 0);
    for (const Report& r : reports) {
        stick.SendRawReport(r);
        // Handled once the reader reads again.
        FUZZ_CHECK(stick.WaitForPendingReads(1, kLimit));
        Overlay(buffer, r);
        FUZZ_CHECK(std::equal(buffer.begin(), buffer.end(), dlg.m_pInBuf.load()));
        const bool axes = length >= 12;
        FUZZ_CHECK(dlg.m_nCurX == (axes ? buffer[8] | buffer[9] << 8 : 0));
        FUZZ_CHECK(dlg.m_nCurY == (axes ? buffer[10] | buffer[11] << 8 : 0));
    }

    // Parked, the reader leaves the reports to the transfer.
    dlg.m_bPauseReader = 1;
    stick.SendRawReport({});
    while (dlg.m_bReaderPaused.load() == 0) std::this_thread::yield();
    // Empty reports only make the transfer pause before it reads again:
    // the reader's part above has them already.
    std::deque<Report> queue;
    std::copy_if(reports.begin(), reports.end(), std::back_inserter(queue),
                 [](const Report& r) { return !r.empty(); });
    Report whole(length, 0x5A);
    if (length > 0) whole[0] = sim::kReportIdEepromData;
    queue.insert(queue.end(), kReadAttempts, whole);
    // Sent once the first request is out, so that every report is one the
    // transfer must sort through rather than one left from before it.
    stick.ClearRequests();
    // A length that cannot carry the block sends no request at all.
    std::thread replies([&] {
        if (length < hidlink::kMinInputReportLength || !stick.WaitForRequests(1, kLimit)) return;
        for (const Report& r : queue) stick.SendRawReport(r);
    });

    CalibrationBlock expected{};
    CalibrationBlock block{};
    const bool complete = dlg.FetchEepromBlock(&block) == EepromOutcome::kDone;
    replies.join();
    FUZZ_CHECK(complete == ExpectedBlock(queue, length, &expected));
    FUZZ_CHECK(!complete || block == expected);

    dlg.m_bPauseReader = 0;
    dlg.CloseLink();
    plat::InstallHid(nullptr);
    return 0;
}
