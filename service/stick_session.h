// One service command's hold on a stick: the calibration dialog made on the
// virtual window system, out of sight, with discovery, the link and the
// block transfers it has for the wizard and the dump. The dialog's boxes
// (a stick that fails to open) become messages on the error stream.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "calib/calibration_record.h"
#include "platform/hid.h"
#include "platform/virtual_window_system.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace service {

// The dialog for a command: it writes only the block it is given, so the
// configuration is never read (a pipe of that name would hang the command,
// a huge file cost its size).
class CommandDialog final : public CKx9JoystickCalibrationDlg {
  public:
    void LoadConfiguration() override {}
};

class StickSession final : public plat::vws::Responder {
  public:
    // `hid` serves discovery and the link while the session exists.
    // `openAdvice` (may be empty) says why the last open failed, if it can;
    // `inUse` (may be empty) names the stick the last open found in use by
    // another kx9calib.
    StickSession(plat::HidDriver& hid, std::ostream& err,
                 std::function<std::string()> openAdvice = {},
                 std::function<std::string()> inUse = {});
    ~StickSession() override;
    StickSession(const StickSession&) = delete;
    StickSession& operator=(const StickSession&) = delete;

    // Discovery and the link, as the dialog does them at start-up. False,
    // with the reason on the error stream, when no stick is open.
    bool Open();
    // The device path of the open stick.
    std::string Node() const;

    // Empty when the open stick's report lengths can carry the transfers;
    // else what is wrong with them, with the bounds.
    std::string UnfitReports() const;

    // The stick's block; kDone only when it was read whole.
    EepromOutcome Fetch(CalibrationRecord* record);
    // The block written in chunks and read back; kDone only when it came
    // back as written, and `readBack` gets what came back when it differs.
    EepromOutcome Store(const CalibrationRecord& record, CalibrationRecord* readBack = nullptr);

    int AnswerMessageBox(const plat::vws::MessageBoxCall& call) override;

  private:
    plat::HidDriver& m_hid;
    plat::HidDriver* m_previous;
    std::ostream& m_err;
    std::function<std::string()> m_openAdvice;
    std::function<std::string()> m_inUse;
    std::string m_held;  // the boxes of the link's open, until it is known why it failed
    bool m_windowOpen = false;
    bool m_reporting = false;  // boxes of the dialog's own start-up are no concern here
    bool m_holding = false;
    plat::vws::Desktop m_desktop{plat::vws::Clock::kReal};
    CommandDialog m_dlg;
    plat::vws::DialogDriver m_window{m_dlg};
};

}  // namespace service
