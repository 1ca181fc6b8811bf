#include "app/kx9_calibration_app.h"

#include "ui/kx9_joystick_calibration_dlg.h"

BEGIN_MESSAGE_MAP(CKx9CalibrationApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL CKx9CalibrationApp::InitInstance() {
    // The structure size and ICC_WIN95_CLASSES, before any window exists.
    plat::InitCommonControls(8, 0xFF);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    // Named for the framework only; nothing is stored under it.
    SetRegistryKey("Local AppWizard-Generated Applications");

    CKx9JoystickCalibrationDlg dlg;
    m_pMainWnd = &dlg;
    dlg.m_pObserver = m_pWizardObserver;
    dlg.DoModal();  // how the dialog ended makes no difference
    // The dialog goes with this frame; leave no pointer to it behind.
    m_pMainWnd = nullptr;
    return FALSE;
}
