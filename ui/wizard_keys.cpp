// The wizard's key handler. The step is never stored: it is read from which
// step texts are visible, the same state the reader's capture rule reads.
#include <cstdint>
#include <string>

#include "ui/calibration_math.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"
#include "ui/wizard_steps.h"

namespace {

constexpr int kPictures[] = {IDC_PIC_1, IDC_PIC_2, IDC_PIC_3, IDC_PIC_4, IDC_PIC_5};

}  // namespace

BOOL CKx9JoystickCalibrationDlg::PreTranslateMessage(plat::Message* msg) {
    if (msg->message == WM_KEYUP && msg->wParam == VK_SPACE && m_bSpaceDown == 1) {
        m_bSpaceDown = 0;
    }
    if (msg->message != WM_KEYDOWN) return CDialog::PreTranslateMessage(msg);

    const bool space = msg->wParam == VK_SPACE;
    if (m_bDeviceFound == 0 && space && m_bSpaceDown == 0) {
        // The stick may have been plugged in since the last search; give a
        // new reader time to publish before the same press is judged.
        FindDevice();
        plat::Sleep(500);
    }
    if (m_bDeviceFound == 0) return CDialog::PreTranslateMessage(msg);

    // With a stick, no key reaches the dialog: Space is judged once per
    // press, everything else does nothing.
    if (!space || m_bSpaceDown == 1) return TRUE;

    for (int id : kPictures) GetDlgItem(id)->ShowWindow(SW_HIDE);
    m_bSpaceDown = 1;

    const int step =
        wizard::StepShown([this](int id) { return GetDlgItem(id)->IsWindowVisible() != FALSE; });
    if (step > wizard::kJudgedSteps) return TRUE;

    const bool passed = wizard::StepPasses(step, m_nCurX, m_nCurY);
    if (!passed) {
        GetDlgItem(kPictures[step - 1])->ShowWindow(SW_SHOWNORMAL);
        return TRUE;
    }
    if (step < 5) {
        GetDlgItem(kPictures[step])->ShowWindow(SW_SHOWNORMAL);
        GetDlgItem(wizard::kStepTexts[step - 1])->ShowWindow(SW_SHOWNORMAL);
        return TRUE;
    }

    GetDlgItem(IDC_STEP_UNPLUG)->ShowWindow(SW_SHOWNORMAL);
    FinishCalibration();
    return TRUE;
}

void CKx9JoystickCalibrationDlg::FinishCalibration() {
    // Every captured field is frozen now that the step-6 text is visible.
    m_Calib.Initial_Pos_X = CentrePosition(m_nCenterX);
    m_Calib.Initial_Pos_Y = CentrePosition(m_nCenterY);
    m_Calib.MultInit_XP = DirectionGain(m_nRightX, m_nCenterX);
    m_Calib.MultInit_XN = DirectionGain(m_nLeftX, m_nCenterX);
    m_Calib.MultInit_YP = DirectionGain(m_nDownY, m_nCenterY);
    m_Calib.MultInit_YN = DirectionGain(m_nUpY, m_nCenterY);

    // The closing message speaks of the last stick written: a failed write
    // after a good one must not leave it claiming success.
    EepromOutcome outcome = EepromOutcome::kNotSent;
    const bool written = WriteEepromBlock(&outcome);
    m_bCalibrated = written ? 1 : 0;
    // Kept before anything waits for the user: a program killed while a
    // box is open has its record of this stick all the same.
    const std::string unkept =
        m_pObserver != nullptr ? m_pObserver->BlockWritten(*this, outcome) : std::string();
    if (!written || !unkept.empty()) {
        char title[260] = {};
        GetWindowTextA(title, sizeof title);
        // On a production line a stick that silently kept its old block
        // would pass as calibrated.
        if (!written) MessageBoxA("Cannot write EEPROM!", title, MB_ICONHAND);
        if (!unkept.empty()) MessageBoxA(unkept.c_str(), title, MB_ICONHAND);
    }
    CloseLink();
    SetTimer(IDT_UNPLUG_POLL, 500);
}
