// The production record kept for kx9calib's dialog: one row for every block
// the wizard writes, with the configuration the dialog loaded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service/found_sticks.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace service {

class DialogRecord final : public WizardObserver {
  public:
    // `list` (may be empty) gives the controllers attached, for the serial
    // number of the stick written.
    DialogRecord(std::string path, std::function<std::vector<FoundController>()> list);

    void ConfigurationLoaded(const std::vector<char>* bytes) override;
    std::string BlockWritten(const CKx9JoystickCalibrationDlg& dlg, EepromOutcome outcome) override;

  private:
    std::string m_path;
    std::function<std::vector<FoundController>()> m_list;
    std::string m_configSha256;
};

}  // namespace service
