// READ EEPROM: the stick's calibration block saved as a text file in the
// configuration syntax. The record the wizard works with is put back
// whatever happens, so a dump never changes what the next stick receives.
#include "calib/calibration_file.h"
#include "ui/kx9_joystick_calibration_dlg.h"

void CKx9JoystickCalibrationDlg::OnReadEeprom() {
    CFileDialog fileDialog(FALSE, "*.txt", "Kx9_Joystick_FW.txt",
                           OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, "Text files (*.txt)|*.txt||");
    char title[260] = {};
    GetWindowTextA(title, sizeof title);
    const CalibrationRecord saved = m_Calib;

    // The stick is read before a name is asked for: a stick that cannot be
    // read never leads to the file dialog.
    if (ReadEepromBlock() == 0) {
        MessageBoxA("Cannot read EEPROM!", title, MB_ICONHAND);
    } else if (fileDialog.DoModal() == IDOK) {
        if (!SaveCalibrationFile(fileDialog.GetPathName().c_str(), m_Calib)) {
            MessageBoxA("Cannot save file to disk.", title, MB_ICONHAND);
        }
    }
    m_Calib = saved;
}
