// The reader: one overlapped read at a time, waited for together with the
// stop event, each report copied into m_pInBuf and its axes published.
#include <cstring>
#include <new>

#include "device/hid_exchange.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

constexpr std::uint32_t kBackOffMs = 5;
// Where the pause flag has no event to wait on, a parked reader looks at
// it this often.
constexpr std::uint32_t kParkPollMs = 1;
constexpr std::uint32_t kExitNoBuffer = 0xFFFFFFFFu;  // exit code -1

// Parked, the reader sleeps until the flag changes, and still answers a
// stop: a close that meets it here must not wait for a transfer that will
// never clear the flag. True when stopped.
bool ParkWhileRequested(CKx9JoystickCalibrationDlg& dlg, plat::Handle stop) {
    const plat::Handle list[2] = {stop, dlg.m_bPauseReader.Changed()};
    while (dlg.m_bPauseReader.load() != 0) {
        if (dlg.m_bReaderPaused.load() == 0) dlg.m_bReaderPaused = 1;
        const std::uint32_t woke = list[1] != nullptr
                                       ? plat::WaitForMultipleObjects(2, list, plat::kInfinite)
                                       : plat::WaitForSingleObject(stop, kParkPollMs);
        if (woke != plat::kWaitObject0 + 1 && woke != plat::kWaitTimeout) return true;
    }
    return false;
}

void Publish(CKx9JoystickCalibrationDlg& dlg, const std::uint8_t* received, std::uint32_t length) {
    std::uint8_t* report = dlg.m_pInBuf.load();
    if (length > 0) std::memcpy(report, received, length);
    // A report too short to hold both axes publishes nothing.
    if (length < hidlink::kAxisReportMinLength) return;
    dlg.m_nCurX = static_cast<std::uint16_t>(report[8] | (report[9] << 8));
    dlg.m_nCurY = static_cast<std::uint16_t>(report[10] | (report[11] << 8));
    dlg.CaptureAxes();
}

}  // namespace

std::uint32_t CKx9JoystickCalibrationDlg::ReaderThread(void* dialog) {
    auto& dlg = *static_cast<CKx9JoystickCalibrationDlg*>(dialog);
    plat::NameCurrentThread("kx9-reader");
    plat::HidDriver& hid = plat::Hid();

    const plat::Handle readEvent = plat::NewEvent(true);
    plat::IoRecord io;
    io.Reset();
    io.hEvent = readEvent;
    const plat::Handle stop = dlg.m_hStopEvent.load();
    // A pause request wakes the reader from its read as well: a transfer
    // then waits for no report of the stick's before it has the device.
    const plat::Handle pauseChanged = dlg.m_bPauseReader.Changed();
    const plat::Handle waitList[3] = {stop, readEvent, pauseChanged};
    const std::uint32_t waitCount = pauseChanged != nullptr ? 3 : 2;

    // The link's length, fixed for the reader's life.
    const std::uint32_t length = dlg.m_nInBufLen.load();
    auto* received = new (std::nothrow) std::uint8_t[length > 0 ? length : 1]();
    if (received == nullptr || readEvent == nullptr) {
        delete[] received;
        if (readEvent != nullptr) plat::CloseHandle(readEvent);
        return kExitNoBuffer;
    }
    dlg.m_bReaderPaused = 0;

    // A read that completed: `read` when it did so successfully.
    auto take = [&](bool read, std::uint32_t count) {
        // Stored only when it changes: a report costs no store of its own
        // for a flag that is the same report after report.
        const std::uint32_t lost = read ? 0 : 1;
        if (dlg.m_bLinkLost.load(std::memory_order_relaxed) != lost) dlg.m_bLinkLost = lost;
        // A late reply read here answers a request all the same: the next
        // transfer must know, or it would take the reply to a later request
        // for that one's.
        if (read && count > 0 && received[0] == kReportIdEepromData) {
            dlg.m_nRepliesTaken.fetch_add(1);
        }
        // A read that completed with an error leaves the previous report in
        // the buffer: the axes keep their values.
        Publish(dlg, received, length);
    };

    for (;;) {
        if (ParkWhileRequested(dlg, stop)) break;
        if (dlg.m_bReaderPaused.load() != 0) dlg.m_bReaderPaused = 0;
        // A transfer that raised the flag again just now may have seen the
        // paused flag from before the line above: look once more, so that
        // no read starts under a transfer that believes the reader parked.
        if (dlg.m_bPauseReader.load() != 0) continue;

        const plat::Handle device = dlg.m_hDevice.load();
        io.Reset();
        io.hEvent = readEvent;
        const plat::IoStart started = hid.Read(device, received, length, &io);
        if (started == plat::IoStart::kPending) {
            std::uint32_t woke = plat::kWaitFailed;
            do {
                woke = plat::WaitForMultipleObjects(waitCount, waitList, plat::kInfinite);
                // A change back to "no pause" before the reader saw it.
            } while (woke == plat::kWaitObject0 + 2 && dlg.m_bPauseReader.load() == 0);
            if (woke == plat::kWaitObject0) {
                // The read still owns the buffer and the record.
                hid.Cancel(device, &io);
                break;
            }
            if (woke == plat::kWaitObject0 + 1) {
                std::uint32_t count = 0;
                const bool read = hid.GetResult(device, &io, &count);
                take(read, count);
                continue;
            }
            if (woke == plat::kWaitObject0 + 2) {
                // A transfer wants the device: the read gives way. A report
                // that came before it could is taken like any other; a read
                // cancelled is no sign of a lost stick.
                hid.Cancel(device, &io);
                std::uint32_t count = 0;
                if (hid.GetResult(device, &io, &count)) take(true, count);
                continue;
            }
            // The wait itself failed: give the read back and fall through
            // to the back-off, which leaves if the stop event is unusable.
            hid.Cancel(device, &io);
        }
        // Completed at once, failed, or not waitable: nothing to publish.
        if (started == plat::IoStart::kFailed) dlg.m_bLinkLost = 1;
        if (plat::WaitForSingleObject(stop, kBackOffMs) != plat::kWaitTimeout) break;
    }

    // Gone is not parked: a transfer must not take this for the next
    // reader's handshake.
    dlg.m_bReaderPaused = 0;
    delete[] received;
    plat::CloseHandle(readEvent);
    const plat::Handle ownStop = dlg.m_hStopEvent.exchange(nullptr);
    if (ownStop != nullptr) plat::CloseHandle(ownStop);
    plat::SetEvent(dlg.m_hStoppedEvent.load());
    return 0;
}
