// The HID link: the stick opened as a raw HID device, its input buffer sized
// from the capabilities, and the reader thread that samples it.
#include <new>

#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

constexpr std::uint32_t kStoppedWaitMs = 1000;

}  // namespace

void CKx9JoystickCalibrationDlg::OpenLink() {
    CloseLink();
    if (m_szDevicePath[0] == 0) return;

    plat::HidDriver& hid = plat::Hid();
    const plat::Handle device = hid.Open(m_szDevicePath);
    m_hDevice = device;
    if (device == plat::InvalidHandle() || device == nullptr) {
        MessageBoxA("Fail on CreateFile!", "Debug", MB_OK);
        return;
    }
    if (!hid.GetAttributes(device, &m_Attributes)) {
        MessageBoxA("Fail on HidD_GetAttributes!", "Debug", MB_OK);
    }
    plat::PreparsedData preparsed = nullptr;
    const bool havePreparsed = hid.GetPreparsedData(device, &preparsed);
    m_pPreparsed = havePreparsed ? preparsed : nullptr;
    if (!havePreparsed) {
        MessageBoxA("Fail on HidD_GetPreparsedData!", "Debug", MB_OK);
    }
    // Without preparsed data there is nothing valid to ask for the caps;
    // that counts as a failed query.
    plat::HidCaps caps = m_Caps;
    if (havePreparsed && hid.GetCaps(m_pPreparsed, &caps)) {
        m_Caps = caps;
    } else {
        MessageBoxA("Fail on HidP_GetCaps!", "Debug", MB_OK);
    }
    // Only the two report lengths are ever needed, and they are in m_Caps.
    if (havePreparsed) {
        hid.FreePreparsedData(m_pPreparsed);
        m_pPreparsed = nullptr;
    }

    const std::uint32_t length = m_Caps.InputReportByteLength;
    m_nInBufLen = length;
    // One byte at least, so that even a zero report length gives a real
    // buffer: m_pInBuf being set is what marks the link as open.
    auto* buffer = new (std::nothrow) std::uint8_t[length > 0 ? length : 1]();
    if (buffer == nullptr) {
        MessageBoxA("Out of memory! Allocating m_pInBuf return NULL.", "Debug", MB_OK);
        // Nothing can run without the buffer, and CloseLink (which tests
        // it) would never release the device: release it here.
        hid.Close(device);
        m_hDevice = nullptr;
        m_nInBufLen = 0;
        return;
    }
    m_pInBuf = buffer;

    m_nCurX = 0;
    m_nCurY = 0;
    m_nCenterX = 0;
    m_nCenterY = 0;
    m_nUpY = 0xFFFF;
    m_nRightX = 0;
    m_nDownY = 0;
    m_nLeftX = 0xFFFF;
    m_bLinkLost = 0;

    m_hStopEvent = plat::NewEvent(false);
    m_hStoppedEvent = plat::NewEvent(false);
    // A reader without its stop event could never be stopped; the link then
    // stays open without one, as when the thread cannot be started.
    if (m_hStopEvent.load() == nullptr || m_hStoppedEvent.load() == nullptr) return;
    const plat::Handle thread = plat::StartThread(&CKx9JoystickCalibrationDlg::ReaderThread, this);
    m_hReaderThread = thread;
    if (thread != nullptr) plat::RaiseThreadPriority(thread);
}

void CKx9JoystickCalibrationDlg::CloseLink() {
    // No reply to what was asked on this link comes on another.
    m_ReadReplies.Clear();
    if (m_pInBuf.load() == nullptr) {
        m_nRepliesTaken = 0;
        return;
    }

    const plat::Handle stop = m_hStopEvent.load();
    if (stop != nullptr) plat::SetEvent(stop);
    const plat::Handle stopped = m_hStoppedEvent.load();
    const std::uint32_t waited =
        stopped != nullptr ? plat::WaitForSingleObject(stopped, kStoppedWaitMs) : plat::kWaitFailed;
    const plat::Handle thread = m_hReaderThread.load();
    if (waited != plat::kWaitObject0 && thread != nullptr) {
        // The reader answers a stop in every state, parked included, well
        // within the limit; one that missed it still uses the device, the
        // buffers and its events, and only once it has ended may they go.
        plat::WaitForSingleObject(thread, plat::kInfinite);
    }

    plat::Hid().Close(m_hDevice.load());
    m_hDevice = nullptr;
    if (stopped != nullptr) {
        plat::CloseHandle(stopped);
        m_hStoppedEvent = nullptr;
    }
    if (thread != nullptr) {
        plat::CloseHandle(thread);
        m_hReaderThread = nullptr;
    }
    // The reader closes the stop event as it leaves; one that never ran (or
    // ended before its loop) leaves it to us. No reader runs any more here.
    const plat::Handle leftover = m_hStopEvent.exchange(nullptr);
    if (leftover != nullptr) plat::CloseHandle(leftover);

    delete[] m_pInBuf.exchange(nullptr);
    m_nInBufLen = 0;
    m_nRepliesTaken = 0;  // no reader counts any more
}
