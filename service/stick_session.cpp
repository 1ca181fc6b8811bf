#include "service/stick_session.h"

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

bool StickSession::Fetch(CalibrationRecord* record) {
    CalibrationBlock block{};
    if (!m_dlg.FetchEepromBlock(&block)) return false;
    UnpackCalibrationBlock(block, *record);
    return true;
}

bool StickSession::Store(const CalibrationRecord& record) {
    return m_dlg.StoreEepromBlock(PackCalibrationBlock(record));
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
