// Reading the calibration block: request by request, each reply adding what
// it carries, until the 18 bytes are in or the attempts run out.
#include <memory>
#include <new>

#include "device/hid_exchange.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

constexpr std::uint32_t kParkLimitMs = 2000;
constexpr int kAttempts = 9;
constexpr std::uint32_t kWindowMs = 500;
constexpr std::uint32_t kSingleWaitMs = 1000;
constexpr std::uint8_t kReadFixedByte = 0x80;
// Passing over the reports already waiting: the drivers hand those over at
// once, so the drain waits for none (a stick streaming its reports would
// otherwise never leave a gap long enough to end it); and a stick that
// keeps them coming faster than they are passed over holds the transfer
// this long at most.
constexpr std::uint32_t kDrainWaitMs = 0;
constexpr std::uint32_t kDrainLimitMs = 20;
// Where the paused flag has no event to wait on, it is looked at this often.
constexpr std::uint32_t kParkPollMs = 1;

std::string ReadDataText(const CalibrationBlock& block) {
    return "READ DATA\n" + hidlink::BlockHexLines(block);
}

}  // namespace

int CKx9JoystickCalibrationDlg::ReadEepromBlock() {
    // Parked here, the reader stays parked through the box as well.
    m_bPauseReader = 1;
    CalibrationBlock block{};
    const bool complete = FetchEepromBlock(&block) == EepromOutcome::kDone;
    if (complete) {
        MessageBoxA(ReadDataText(block).c_str(), "Debug", MB_OK);
        UnpackCalibrationBlock(block, m_Calib);
    }
    m_bPauseReader = 0;
    return complete ? 1 : 0;
}

EepromOutcome CKx9JoystickCalibrationDlg::FetchEepromBlock(CalibrationBlock* out) {
    const std::uint32_t outLength = m_Caps.OutputReportByteLength;
    const std::uint32_t inLength = m_Caps.InputReportByteLength;
    if (!hidlink::ReportLengthsFit(inLength, outLength)) return EepromOutcome::kUnfitReports;

    const std::uint32_t t0 = plat::TimeGetTime();
    // A caller that parked the reader itself keeps it parked afterwards.
    const hidlink::FlagHold pause(m_bPauseReader);
    // The reader's own pending read would take the reply: wait until it has
    // given it up and parked.
    const plat::Handle parked = m_bReaderPaused.Changed();
    while (m_bReaderPaused.load() == 0) {
        const std::uint32_t elapsed = hidlink::ElapsedSince(t0);
        if (elapsed > kParkLimitMs) return EepromOutcome::kNoReply;
        if (parked == nullptr ||
            plat::WaitForSingleObject(parked, kParkLimitMs + 1 - elapsed) == plat::kWaitFailed) {
            plat::Sleep(kParkPollMs);
        }
    }

    plat::HidDriver& hid = plat::Hid();
    const plat::Handle device = m_hDevice.load();
    std::unique_ptr<std::uint8_t[]> request(new (std::nothrow) std::uint8_t[outLength]());
    std::unique_ptr<std::uint8_t[]> reply(new (std::nothrow) std::uint8_t[inLength]());
    const plat::Handle event = plat::NewEvent(true);
    if (!request || !reply || event == nullptr) {
        if (event != nullptr) plat::CloseHandle(event);
        return EepromOutcome::kNotSent;
    }
    plat::IoRecord io;
    io.Reset();
    io.hEvent = event;
    CalibrationBlock block{};

    // Replies to requests of earlier transfers may still come; those already
    // waiting are passed over now, before anything of ours is asked.
    const std::uint32_t tDrain = plat::TimeGetTime();
    // Seen after the reader parked, so every reply it took is counted.
    m_ReadReplies.BeginTransfer(m_nRepliesTaken.load());
    while (hidlink::ElapsedSince(tDrain) < kDrainLimitMs) {
        std::uint32_t got = 0;
        if (!hidlink::TransferReport(hid, device, hidlink::Direction::kRead, reply.get(), inLength,
                                     io, event, kDrainWaitMs, &got) ||
            got == 0) {
            break;
        }
        if (reply[0] == kReportIdEepromData) m_ReadReplies.PassOver();
    }

    int received = 0;
    bool gone = false;
    for (int attemptsLeft = kAttempts; received < kCalibBlockSize && attemptsLeft > 0 && !gone;
         --attemptsLeft) {
        const auto wanted = static_cast<std::uint8_t>(kCalibEepromBase + received);
        const std::uint32_t t1 = plat::TimeGetTime();
        for (;;) {
            hidlink::BuildEepromRequest(request.get(), outLength, kCmdEepromRead, wanted,
                                        kReadFixedByte);
            std::uint32_t written = 0;
            bool started = false;
            const bool ok =
                hidlink::TransferReport(hid, device, hidlink::Direction::kWrite, request.get(),
                                        outLength, io, event, kSingleWaitMs, &written, &started);
            // A write the driver took may have reached the stick whatever
            // its outcome: its reply must be expected.
            if (started) m_ReadReplies.Sent(wanted);
            if (ok && written == outLength) break;
            if (hidlink::ElapsedSince(t1) >= kWindowMs) break;
            plat::Sleep(hidlink::kRetryPauseMs);
        }

        // Reports of other ids (the axes keep coming) and replies to other
        // requests are passed over until the reply for these bytes arrives
        // or the window closes.
        const std::uint32_t t2 = plat::TimeGetTime();
        do {
            reply[0] = 0;
            reply[1] = 0;
            std::uint32_t got = 0;
            bool started = false;
            const bool ok =
                hidlink::TransferReport(hid, device, hidlink::Direction::kRead, reply.get(),
                                        inLength, io, event, kSingleWaitMs, &got, &started);
            // A whole input report is always a read the driver can take;
            // refused at once, the stick is gone, and no window brings it back.
            if (!started) {
                gone = true;
                break;
            }
            if (!ok || got == 0) {
                plat::Sleep(hidlink::kRetryPauseMs);
                continue;
            }
            if (reply[0] != kReportIdEepromData || !m_ReadReplies.Answers(wanted)) continue;
            const std::uint32_t end = got < inLength ? got : inLength;
            for (std::uint32_t i = 4; i < end && received < kCalibBlockSize; ++i) {
                block[received++] = reply[i];
            }
            break;
        } while (hidlink::ElapsedSince(t2) < kWindowMs);
    }

    const bool complete = received == kCalibBlockSize;
    if (complete) *out = block;
    plat::CloseHandle(event);
    if (complete) return EepromOutcome::kDone;
    return gone ? EepromOutcome::kGone : EepromOutcome::kNoReply;
}
