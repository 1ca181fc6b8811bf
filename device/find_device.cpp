// Discovery: the first attached game controller whose vendor/product value is
// the stick's, and whose device path can be read, gives the path to open.
#include "ui/kx9_joystick_calibration_dlg.h"

void CKx9JoystickCalibrationDlg::FindDevice() {
    // A running reader must be gone before the path it reads is rewritten,
    // even when the same stick is about to be found again.
    CloseLink();
    m_szDevicePath[0] = 0;
    if (m_pDI != nullptr) {
        m_pDI->Release();
        m_pDI = nullptr;
    }
    plat::InputSystem* system = nullptr;
    if (plat::Hid().CreateInputSystem(&system) && system != nullptr) {
        m_pDI = system;
        m_pDI->EnumDevices(&CKx9JoystickCalibrationDlg::EnumDevicesCallback, this);
    }
    m_bDeviceFound = 0;
    if (m_szDevicePath[0] == 0) return;
    OpenLink();
    // Found is found: the wizard must not search again for a stick that is
    // there but failed to open; the open failure has been shown already.
    m_bDeviceFound = 1;
}

int CKx9JoystickCalibrationDlg::EnumDevicesCallback(const plat::DeviceInstance* instance,
                                                    void* context) {
    auto* dialog = static_cast<CKx9JoystickCalibrationDlg*>(context);
    if (instance == nullptr || dialog == nullptr || dialog->m_pDI == nullptr) {
        return plat::kDienumContinue;
    }
    plat::InputDevice* device = nullptr;
    if (!dialog->m_pDI->CreateDevice(*instance, &device) || device == nullptr) {
        return plat::kDienumContinue;
    }
    std::uint32_t vidPid = 0;
    if (!device->GetVidPid(&vidPid) || vidPid != DeviceIdentity) {
        device->Release();
        return plat::kDienumContinue;
    }
    plat::GuidAndPath record{};
    if (!device->GetGuidAndPath(&record)) {
        device->Release();
        return plat::kDienumContinue;
    }
    // The low byte of each UTF-16 unit, no code-page conversion: device paths
    // are ASCII, and the path is handed back to the same driver as is.
    constexpr std::size_t kMaxChars = sizeof(dialog->m_szDevicePath) - 1;
    std::size_t n = 0;
    while (n < kMaxChars && record.wszPath[n] != 0) {
        dialog->m_szDevicePath[n] = static_cast<char>(record.wszPath[n] & 0xFF);
        ++n;
    }
    dialog->m_szDevicePath[n] = 0;
    device->Release();
    return plat::kDienumStop;
}
