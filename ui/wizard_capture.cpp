// The capture rule, run on the reader thread after every published report.
// Each captured value follows the live one until its step passes and the
// next step text becomes visible; from then on it stays frozen.
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

void CKx9JoystickCalibrationDlg::CaptureAxes() {
    if (!GetDlgItem(IDC_STEP_UP)->IsWindowVisible()) {
        m_nCenterX = m_nCurX.load();
        m_nCenterY = m_nCurY.load();
    }
    if (!GetDlgItem(IDC_STEP_RIGHT)->IsWindowVisible()) m_nUpY = m_nCurY.load();
    if (!GetDlgItem(IDC_STEP_DOWN)->IsWindowVisible()) m_nRightX = m_nCurX.load();
    if (!GetDlgItem(IDC_STEP_LEFT)->IsWindowVisible()) m_nDownY = m_nCurY.load();
    if (!GetDlgItem(IDC_STEP_UNPLUG)->IsWindowVisible()) m_nLeftX = m_nCurX.load();
}
