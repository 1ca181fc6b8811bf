// Writing the calibration block: the values shown first, then the block in
// chunks of what one output report carries, 250 ms apart, then read back.
#include <cstdio>
#include <memory>
#include <new>

#include "device/hid_exchange.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace {

constexpr std::uint32_t kChunkPauseMs = 250;
constexpr std::uint32_t kWriteWaitMs = 500;

}  // namespace

bool CKx9JoystickCalibrationDlg::WriteEepromBlock(EepromOutcome* outcome) {
    const CalibrationBlock block = PackCalibrationBlock(m_Calib);

    char values[640];
    std::snprintf(
        values, sizeof values,
        "DATA\nCenter X:%.4X, Y:%.4X\nMin X=%.4X, Max X = %.4X\nMin Y=%.4X Max "
        "Y=%.4X\n\nInitPosX = %.4X, InitPosY = %.4X\nEdgeSize=%.4X\nEdgeReduc=%.2X, "
        "EdgeShift=%.2X, EdgeBM=%.2X\nMultInit XN=%.2X,XP=%.2X,YN=%.2X,YP=%.2X\nCenterArea="
        "%.4X\nCenter Reduc=%.2X,Shift=%.2X,BM=%.2X\n\n",
        unsigned{m_nCenterX.load()}, unsigned{m_nCenterY.load()}, unsigned{m_nLeftX.load()},
        unsigned{m_nRightX.load()}, unsigned{m_nUpY.load()}, unsigned{m_nDownY.load()},
        unsigned{m_Calib.Initial_Pos_X}, unsigned{m_Calib.Initial_Pos_Y},
        unsigned{m_Calib.Edge_Size}, unsigned{m_Calib.Edge_Reduc}, unsigned{m_Calib.Edge_Shift},
        unsigned{m_Calib.Edge_BM}, unsigned{m_Calib.MultInit_XN}, unsigned{m_Calib.MultInit_XP},
        unsigned{m_Calib.MultInit_YN}, unsigned{m_Calib.MultInit_YP}, unsigned{m_Calib.Center_Area},
        unsigned{m_Calib.Center_Reduc}, unsigned{m_Calib.Center_Shift},
        unsigned{m_Calib.Center_BM});
    const std::string text = values + hidlink::BlockHexLines(block);
    // The reader keeps sampling while the box is open.
    MessageBoxA(text.c_str(), "Debug", MB_OK);
    const EepromOutcome stored = StoreEepromBlock(block);
    if (outcome != nullptr) *outcome = stored;
    return stored == EepromOutcome::kDone;
}

bool CKx9JoystickCalibrationDlg::StickGone(plat::Handle device) {
    // A whole input report is a read every driver takes unless the device
    // went away; one that starts is taken back at once.
    const std::uint32_t length = m_Caps.InputReportByteLength;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[length]());
    const plat::Handle event = plat::NewEvent(true);
    if (!buffer || event == nullptr) {
        if (event != nullptr) plat::CloseHandle(event);
        return false;
    }
    plat::IoRecord io;
    std::uint32_t got = 0;
    bool started = false;
    const bool ok = hidlink::TransferReport(plat::Hid(), device, hidlink::Direction::kRead,
                                            buffer.get(), length, io, event, 0, &got, &started);
    // A reply that came just then answers the oldest request outstanding.
    if (ok && got > 0 && buffer[0] == kReportIdEepromData) m_ReadReplies.PassOver();
    plat::CloseHandle(event);
    return !started;
}

EepromOutcome CKx9JoystickCalibrationDlg::StoreEepromBlock(const CalibrationBlock& block,
                                                           CalibrationBlock* readBack) {
    const std::uint32_t outLength = m_Caps.OutputReportByteLength;
    // Reports that cannot carry a chunk, or a read-back that could never
    // complete: nothing is sent.
    if (!hidlink::ReportLengthsFit(m_Caps.InputReportByteLength, outLength)) {
        return EepromOutcome::kUnfitReports;
    }

    // No reply is expected, so the reader need not have parked: the first
    // 250 ms pause gives it the time to. It stays parked for the read-back.
    const hidlink::FlagHold pause(m_bPauseReader);
    const auto chunk = static_cast<std::uint8_t>(outLength - 4);
    std::unique_ptr<std::uint8_t[]> request(new (std::nothrow) std::uint8_t[outLength]());
    if (!request) return EepromOutcome::kNotSent;

    plat::HidDriver& hid = plat::Hid();
    const plat::Handle device = m_hDevice.load();
    bool allWritten = true;
    int offset = 0;
    int remaining = kCalibBlockSize;
    while (remaining > 0) {
        plat::Sleep(kChunkPauseMs);
        const int count = remaining < chunk ? remaining : chunk;
        hidlink::BuildEepromRequest(request.get(), outLength, kCmdEepromWrite,
                                    static_cast<std::uint8_t>(kCalibEepromBase + offset),
                                    static_cast<std::uint8_t>(count), block.data() + offset,
                                    static_cast<std::size_t>(count));

        // Each chunk is sent once; one that fails or is still pending after
        // its wait (then cancelled) makes the whole write a failure, but the
        // remaining chunks still go out.
        const plat::Handle event = plat::NewEvent(true);
        std::uint32_t written = 0;
        plat::IoRecord io;
        const bool ok =
            event != nullptr &&
            hidlink::TransferReport(hid, device, hidlink::Direction::kWrite, request.get(),
                                    outLength, io, event, kWriteWaitMs, &written);
        if (event != nullptr) plat::CloseHandle(event);
        if (!ok || written != outLength) {
            allWritten = false;
            // Nothing more can reach a stick that went away: say so now.
            if (StickGone(device)) return EepromOutcome::kGone;
        }

        remaining -= chunk;
        offset += chunk;
    }

    // "Accepted" is not "kept": only the stick's own answer says the block
    // is there. It gets the same time to store the last chunk as it had
    // before each chunk.
    EepromOutcome outcome = EepromOutcome::kNotSent;
    if (allWritten) {
        plat::Sleep(kChunkPauseMs);
        CalibrationBlock back{};
        outcome = FetchEepromBlock(&back);
        if (outcome == EepromOutcome::kDone && back != block) {
            outcome = EepromOutcome::kDiffers;
            if (readBack != nullptr) *readBack = back;
        }
    }
    return outcome;
}
