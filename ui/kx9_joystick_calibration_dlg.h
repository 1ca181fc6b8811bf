// The main dialog. It owns every piece of run-time state: the device path and
// link, the reader thread and its events, the live and captured axis values,
// the wizard's key flag and the calibration record. Its member operations are
// spread over files named after their concern (ui/ for the dialog and the
// wizard, device/ for discovery, the link and the EEPROM transfers).
//
// The UI thread and the reader share this object without locks: every field
// that both touch is a std::atomic of the field's width.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "calib/calibration_record.h"
#include "device/reply_queue.h"
#include "device/watched_flag.h"
#include "platform/dialog.h"
#include "platform/hid.h"
#include "platform/sync.h"

// What became of a block transfer, for those who say more than the dialog's
// boxes do.
enum class EepromOutcome {
    kDone,
    kUnfitReports,  // report lengths no transfer can work with: nothing was sent
    kNotSent,       // a request or a chunk did not go out
    kNoReply,       // sent, and the stick gave (some of) the bytes no reply
    kDiffers,       // written, and read back different
    kGone,          // the stick went away
};

class CKx9JoystickCalibrationDlg;

// Told what the dialog loaded and wrote, so that a program can keep a
// record of each stick; the dialog program has none.
class WizardObserver {
  public:
    virtual ~WizardObserver() = default;
    // The configuration's bytes as loaded at start-up; null when none was.
    virtual void ConfigurationLoaded(const std::vector<char>* bytes) = 0;
    // The wizard wrote m_Calib's block with this outcome; the stick does
    // not count as done before this returns. Empty, or the message that
    // says what the observer failed to keep.
    virtual std::string BlockWritten(const CKx9JoystickCalibrationDlg& dlg,
                                     EepromOutcome outcome) = 0;
};

// The stick: product id 0x0402 (high half), vendor id 0x0F3D (low half).
inline constexpr std::uint32_t DeviceIdentity = 0x04020F3Du;

class CKx9JoystickCalibrationDlg : public CDialog {
  public:
    CKx9JoystickCalibrationDlg();
    ~CKx9JoystickCalibrationDlg() override;

    BOOL PreTranslateMessage(plat::Message* msg) override;  // ui/wizard_keys.cpp
    BOOL OnInitDialog() override;                           // ui/kx9_joystick_calibration_dlg.cpp

    // --- dialog (ui/kx9_joystick_calibration_dlg.cpp) ---
    void ShowStep1Layout();
    // The configuration's fixed fields into m_Calib, or the "Error loading"
    // box. A user of the dialog that writes only blocks it is given (the
    // service commands) leaves the file alone.
    virtual void LoadConfiguration();
    void OnPaint();
    plat::IconRef OnQueryDragIcon();
    void OnClose();

    // --- wizard (ui/) ---
    void CaptureAxes();  // the capture rule; called by the reader after each report
    void OnTimer(UINT_PTR nIDEvent);
    // Step 5 passed: compute, write the block, close the link, poll for unplug.
    void FinishCalibration();

    // --- dump command (ui/) ---
    void OnReadEeprom();

    // --- device link (device/) ---
    void FindDevice();
    static int EnumDevicesCallback(const plat::DeviceInstance* instance, void* context);
    void OpenLink();
    void CloseLink();
    static std::uint32_t ReaderThread(void* dialog);
    // The READ EEPROM command's read: the block in a READ DATA box and then
    // in m_Calib. 1 when all 18 bytes came, else 0 with m_Calib untouched.
    int ReadEepromBlock();
    // The wizard's write: the DATA box, then StoreEepromBlock of m_Calib;
    // true when it was verified, and `outcome` (may be null) says how not.
    bool WriteEepromBlock(EepromOutcome* outcome = nullptr);
    // The block's 18 bytes from the stick, with no box and m_Calib left as
    // it is. kDone only when all 18 came, each from its own address.
    EepromOutcome FetchEepromBlock(CalibrationBlock* block);
    // The block into the stick in chunks, with no box, then read back. kDone
    // only when every chunk went out whole and the stick gave the block
    // back as written; `readBack` gets what it gave back when it differs.
    EepromOutcome StoreEepromBlock(const CalibrationBlock& block,
                                   CalibrationBlock* readBack = nullptr);
    // True when the stick behind `device` went away (a read is refused).
    bool StickGone(plat::Handle device);

    // --- members, in declaration order ---
    char m_szDevicePath[260];
    plat::InputSystem* m_pDI;
    plat::HidAttributes m_Attributes;
    plat::PreparsedData m_pPreparsed;
    plat::HidCaps m_Caps;
    std::atomic<plat::Handle> m_hDevice;
    // Each change wakes the one thread that waits for it.
    hidlink::WatchedFlag m_bPauseReader;
    hidlink::WatchedFlag m_bReaderPaused;
    std::atomic<std::uint32_t> m_bDeviceFound;
    std::uint8_t m_bCalibrated;
    std::uint32_t m_bSpaceDown;
    std::atomic<std::uint8_t*> m_pInBuf;
    std::atomic<std::uint32_t> m_nInBufLen;
    std::atomic<std::uint16_t> m_nLeftX;
    std::atomic<std::uint16_t> m_nRightX;
    std::atomic<std::uint16_t> m_nCenterX;
    std::atomic<std::uint16_t> m_nCurX;
    std::atomic<std::uint16_t> m_nUpY;
    std::atomic<std::uint16_t> m_nDownY;
    std::atomic<std::uint16_t> m_nCenterY;
    std::atomic<std::uint16_t> m_nCurY;
    std::atomic<plat::Handle> m_hReaderThread;
    std::atomic<plat::Handle> m_hStopEvent;
    std::atomic<plat::Handle> m_hStoppedEvent;
    // 1 while the reader's reads fail (the stick went away under an open
    // link); the wizard never looks at it, a front end may say so.
    std::atomic<std::uint32_t> m_bLinkLost;
    CalibrationRecord m_Calib;
    plat::IconRef m_hIcon;
    // The EEPROM read requests whose replies have not come (device/,
    // user-interface thread only).
    hidlink::ReplyQueue m_ReadReplies;
    // EEPROM data replies the reader read (a late one between transfers);
    // the reader writes, the user-interface thread reads. 0 at each open.
    std::atomic<std::uint32_t> m_nRepliesTaken{0};
    // Told of the configuration and of every block written; may be null.
    WizardObserver* m_pObserver = nullptr;

    DECLARE_MESSAGE_MAP()
};
