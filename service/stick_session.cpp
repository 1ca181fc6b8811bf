#include "service/stick_session.h"

#include <string>

#include "device/hid_exchange.h"
#include "service/locked_stick_driver.h"
#include "term/clean_text.h"

namespace service {

StickSession::StickSession(plat::HidDriver& hid, std::ostream& err,
                           std::function<std::string()> openAdvice,
                           std::function<std::string()> inUse)
    : m_hid(hid),
      m_previous(&plat::Hid()),
      m_err(err),
      m_openAdvice(std::move(openAdvice)),
      m_inUse(std::move(inUse)) {
    m_desktop.SetResponder(this);
    // Opened with no stick to find, so that discovery runs once, in Open().
    plat::InstallHid(nullptr);
    m_windowOpen = m_window.Open();
    plat::InstallHid(&m_hid);
}

StickSession::~StickSession() {
    // The reader reads the controls, so it goes before the window.
    m_dlg.CloseLink();
    if (m_dlg.m_pDI != nullptr) m_dlg.m_pDI->Release();
    m_dlg.m_pDI = nullptr;
    m_window.Close();
    m_desktop.SetResponder(nullptr);
    plat::InstallHid(m_previous);
}

bool StickSession::Open() {
    // The reader reads the step texts: no link without them.
    if (!m_windowOpen) {
        m_err << "kx9calib: cannot make the dialog\n";
        return false;
    }
    m_reporting = true;
    m_holding = true;
    m_dlg.FindDevice();
    m_holding = false;
    // Another kx9calib has it: that is the whole story, not the open's box.
    const std::string inUse = m_inUse ? m_inUse() : std::string();
    if (m_dlg.m_pInBuf.load() == nullptr && !inUse.empty()) {
        m_err << "kx9calib: " << InUseMessage(inUse) << "\n";
        return false;
    }
    m_err << m_held;
    m_held.clear();
    if (m_dlg.m_bDeviceFound == 0) {
        m_err << "kx9calib: no stick found\n";
        return false;
    }
    if (m_dlg.m_pInBuf.load() == nullptr) {
        m_err << "kx9calib: cannot open the stick " << term::CleanText(Node()) << "\n";
        const std::string advice = m_openAdvice ? m_openAdvice() : std::string();
        if (!advice.empty()) m_err << advice << "\n";
        return false;
    }
    return true;
}

std::string StickSession::Node() const {
    return m_dlg.m_szDevicePath;
}

std::string StickSession::UnfitReports() const {
    const std::uint32_t in = m_dlg.m_Caps.InputReportByteLength;
    const std::uint32_t out = m_dlg.m_Caps.OutputReportByteLength;
    std::string why;
    if (out < hidlink::kMinOutputReportLength || out > hidlink::kMaxOutputReportLength) {
        why = "output reports of " + std::to_string(out) + " bytes (a request needs " +
              std::to_string(hidlink::kMinOutputReportLength) + " to " +
              std::to_string(hidlink::kMaxOutputReportLength) + ")";
    }
    if (in < hidlink::kMinInputReportLength) {
        why += (why.empty() ? "" : " and ") + std::string("input reports of ") +
               std::to_string(in) + " bytes (9 replies carry the 18 bytes only with " +
               std::to_string(hidlink::kMinInputReportLength) + " or more)";
    }
    return why;
}

EepromOutcome StickSession::Fetch(CalibrationRecord* record) {
    CalibrationBlock block{};
    const EepromOutcome outcome = m_dlg.FetchEepromBlock(&block);
    if (outcome == EepromOutcome::kDone) UnpackCalibrationBlock(block, *record);
    return outcome;
}

EepromOutcome StickSession::Store(const CalibrationRecord& record, CalibrationRecord* readBack) {
    CalibrationBlock back{};
    const EepromOutcome outcome = m_dlg.StoreEepromBlock(PackCalibrationBlock(record), &back);
    if (outcome == EepromOutcome::kDiffers && readBack != nullptr) {
        UnpackCalibrationBlock(back, *readBack);
    }
    return outcome;
}

int StickSession::AnswerMessageBox(const plat::vws::MessageBoxCall& call) {
    if (!m_reporting) return IDOK;
    const std::string line = "kx9calib: " + term::CleanText(call.text) + "\n";
    if (m_holding) {
        m_held += line;
    } else {
        m_err << line;
    }
    return IDOK;
}

}  // namespace service
