// Step 6: the block is written and the link closed; every tick tries to open
// the stick's path. The first tick that cannot counts the stick as unplugged
// and starts over for the next one.
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

void CKx9JoystickCalibrationDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == IDT_UNPLUG_POLL) {
        m_hDevice = plat::Hid().Open(m_szDevicePath);
        if (m_hDevice != plat::InvalidHandle()) {
            plat::Hid().Close(m_hDevice);
            m_hDevice = plat::InvalidHandle();
        } else {
            KillTimer(IDT_UNPLUG_POLL);
            m_bSpaceDown = 0;
            ShowStep1Layout();
            CloseLink();
            FindDevice();
        }
    }
    CDialog::OnTimer(nIDEvent);
}
