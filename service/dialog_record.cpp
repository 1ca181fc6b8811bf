#include "service/dialog_record.h"

#include "service/record_file.h"
#include "service/sha256.h"
#include "term/clean_text.h"

namespace service {

DialogRecord::DialogRecord(std::string path, std::function<std::vector<FoundController>()> list)
    : m_path(std::move(path)), m_list(std::move(list)) {}

void DialogRecord::ConfigurationLoaded(const std::vector<char>* bytes) {
    m_configSha256.clear();
    if (bytes == nullptr) return;
    Sha256 hash;
    hash.Add(bytes->data(), bytes->size());
    m_configSha256 = hash.HexDigest();
}

std::string DialogRecord::BlockWritten(const CKx9JoystickCalibrationDlg& dlg,
                                       EepromOutcome outcome) {
    RecordRow row = NewRecordRow("dialog");
    row.device = term::CleanText(dlg.m_szDevicePath);
    row.vidPid = std::uint32_t{dlg.m_Attributes.ProductID} << 16 | dlg.m_Attributes.VendorID;
    if (m_list) {
        for (const FoundController& c : m_list()) {
            if (c.node == dlg.m_szDevicePath) row.serial = term::CleanText(c.serial);
        }
    }
    row.result = RecordResult(outcome);
    row.captured = true;
    row.axes = {dlg.m_nCenterX.load(), dlg.m_nCenterY.load(), dlg.m_nUpY.load(),
                dlg.m_nRightX.load(),  dlg.m_nDownY.load(),   dlg.m_nLeftX.load()};
    row.fields = dlg.m_Calib;
    row.configSha256 = m_configSha256;
    std::string failed = AppendRecordRow(m_path, row);
    // The dialog's boxes begin with a capital.
    if (!failed.empty() && failed[0] >= 'a' && failed[0] <= 'z') failed[0] -= 'a' - 'A';
    return failed;
}

}  // namespace service
