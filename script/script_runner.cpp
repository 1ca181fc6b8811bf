#include "script/script_runner.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/sync.h"
#include "term/save_prompt.h"
#include "term/canvas.h"
#include "term/clean_text.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

namespace script {
namespace {

constexpr UINT kWmNull = 0;

// The file written, as the script named it: relative to `folder` when the
// answer was relative, so a transcript does not depend on where it ran.
std::string ShownPath(const std::string& answer, const std::string& written,
                      const std::string& folder) {
    namespace fs = std::filesystem;
    if (fs::path(answer).is_absolute()) return written;
    const fs::path relative =
        fs::path(written).lexically_relative(fs::path(folder).lexically_normal());
    return relative.empty() ? written : relative.string();
}

}  // namespace

const std::vector<NamedControl>& ShowableControls() {
    static const std::vector<NamedControl> kControls = {
        {IDC_STEP_PLUG, "IDC_STEP_PLUG"},   {IDC_STEP_UP, "IDC_STEP_UP"},
        {IDC_STEP_RIGHT, "IDC_STEP_RIGHT"}, {IDC_STEP_DOWN, "IDC_STEP_DOWN"},
        {IDC_STEP_LEFT, "IDC_STEP_LEFT"},   {IDC_STEP_UNPLUG, "IDC_STEP_UNPLUG"},
        {IDC_PIC_1, "IDC_PIC_1"},           {IDC_PIC_2, "IDC_PIC_2"},
        {IDC_PIC_3, "IDC_PIC_3"},           {IDC_PIC_4, "IDC_PIC_4"},
        {IDC_PIC_5, "IDC_PIC_5"},
    };
    return kControls;
}

std::string VisibleLine(const std::vector<int>& visibleIds) {
    std::string line = "visible:";
    for (const NamedControl& c : ShowableControls()) {
        for (int id : visibleIds) {
            if (id == c.id) {
                line += ' ';
                line += c.name;
                break;
            }
        }
    }
    return line;
}

std::string FormatBoxTranscript(const plat::vws::MessageBoxCall& call) {
    std::string out = "[box] " + term::CleanText(call.caption) + " (" +
                      term::MessageBoxTypeName(call.type) + ")\n";
    std::vector<std::string> lines = term::SplitLines(call.text);
    // A text that ends with a line break has no empty line after it.
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    for (const std::string& l : lines) out += term::CleanText(l) + "\n";
    out += "[end]\n";
    return out;
}

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, term::StickControl* stick,
                           std::ostream& out, std::ostream& err, std::string folder)
    : m_commands(std::move(commands)),
      m_stick(stick),
      m_out(out),
      m_err(err),
      m_folder(std::move(folder)) {}

void ScriptRunner::Attach(plat::vws::Desktop& desktop) {
    m_desktop = &desktop;
    desktop.SetResponder(this);
    desktop.SetIdleHook([this] { OnIdle(); });
}

void ScriptRunner::Detach(plat::vws::Desktop& desktop) {
    desktop.SetIdleHook({});
    desktop.SetResponder(nullptr);
    m_desktop = nullptr;
}

CKx9JoystickCalibrationDlg* ScriptRunner::Dialog() const {
    CWinApp* app = AfxGetApp();
    return app != nullptr ? dynamic_cast<CKx9JoystickCalibrationDlg*>(app->m_pMainWnd) : nullptr;
}

void ScriptRunner::OnIdle() {
    CKx9JoystickCalibrationDlg* dialog = Dialog();
    if (dialog == nullptr) return;
    plat::vws::DialogDriver driver(*dialog);

    if (m_waitLeft > 0) {
        const std::uint32_t slice = std::min(m_waitLeft, kSliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        if (m_desktop != nullptr) m_desktop->AdvanceClock(slice);
        m_waitLeft -= slice;
        // The loop only comes back here once it has had something to do.
        driver.Post(kWmNull, 0, 0);
        return;
    }
    if (m_next >= m_commands.size()) {
        // The end of the script closes the dialog as `close` does.
        driver.PostClose();
        return;
    }
    const ScriptCommand& command = m_commands[m_next++];
    Run(command, *dialog);
    m_out.flush();
}

void ScriptRunner::Run(const ScriptCommand& c, CKx9JoystickCalibrationDlg& dialog) {
    plat::vws::DialogDriver driver(dialog);
    switch (c.op) {
        case ScriptOp::kKey:
            driver.PostKeyDown(c.vk);
            driver.PostKeyUp(c.vk);
            return;
        case ScriptOp::kKeyDown:
            driver.PostKeyDown(c.vk);
            return;
        case ScriptOp::kKeyUp:
            driver.PostKeyUp(c.vk);
            return;
        case ScriptOp::kClick:
            driver.PostClick(c.id);
            return;
        case ScriptOp::kClose:
            driver.PostClose();
            return;
        case ScriptOp::kStick:
            if (m_stick != nullptr) {
                m_stick->SetAxes(c.x, c.y);
                AwaitReport(c, dialog);
            }
            break;
        case ScriptOp::kUnplug:
            if (m_stick != nullptr) m_stick->Unplug();
            break;
        case ScriptOp::kPlug:
            if (m_stick != nullptr) m_stick->Plug();
            break;
        case ScriptOp::kWait:
            m_waitLeft = c.ms;
            break;
        case ScriptOp::kSave:
            m_saveAnswer = c.path;
            break;
        case ScriptOp::kCancel:
            m_saveAnswer.reset();
            break;
        case ScriptOp::kShow:
            m_out << VisibleLine(driver.VisibleIds()) << '\n';
            break;
    }
    driver.Post(kWmNull, 0, 0);
}

void ScriptRunner::AwaitReport(const ScriptCommand& c, CKx9JoystickCalibrationDlg& dialog) {
    // Only a running reader processes reports; with the link closed (step
    // 6, no stick) the new position simply waits for the next one.
    if (!m_stick->Plugged() || dialog.m_pInBuf.load() == nullptr ||
        dialog.m_hReaderThread.load() == nullptr) {
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReportLimitMs);
    auto late = [&] { return std::chrono::steady_clock::now() >= deadline; };
    while (dialog.m_nCurX.load() != c.x || dialog.m_nCurY.load() != c.y) {
        if (late()) {
            m_err << "kx9calib: line " << c.line << ": no report at the new position reached "
                  << "the dialog within " << kReportLimitMs << " ms\n";
            // What follows would judge a position the dialog never saw:
            // end here, as the end of the script does.
            m_failed = true;
            m_next = m_commands.size();
            return;
        }
        plat::Sleep(1);
    }
    // The reader applies the capture rule after publishing and only then
    // asks for the next report: one more report handed over means the one
    // at the new position has been processed whole.
    const std::uint64_t seen = m_stick->ReportsConsumed();
    while (m_stick->ReportsConsumed() == seen && !late()) plat::Sleep(1);
}

int ScriptRunner::UnrunLine() const {
    return m_next < m_commands.size() ? m_commands[m_next].line : 0;
}

int ScriptRunner::AnswerMessageBox(const plat::vws::MessageBoxCall& call) {
    m_out << FormatBoxTranscript(call);
    m_out.flush();
    return IDOK;
}

bool ScriptRunner::AnswerFileDialog(const plat::vws::FileDialogCall& call, std::string* path) {
    m_out << "[file] " << term::CleanText(call.fileName) << " -> ";
    if (!m_saveAnswer.has_value()) {
        m_out << "cancelled\n";
        return false;
    }
    const std::string answer = *m_saveAnswer;
    m_saveAnswer.reset();
    term::SavePrompt prompt(call, m_folder);
    prompt.SetName(answer);
    prompt.Submit();
    // Naming an existing file in the script is the answer to the overwrite
    // question as well.
    if (prompt.GetState() == term::SavePrompt::State::kConfirmOverwrite) {
        prompt.OnKey(term::Key{term::KeyKind::kChar, 'y'});
    }
    if (prompt.GetState() != term::SavePrompt::State::kConfirmed) {
        m_out << "refused: " << term::CleanText(prompt.Message()) << "\n";
        return false;
    }
    *path = prompt.Path();
    m_out << term::CleanText(ShownPath(answer, *path, m_folder)) << "\n";
    return true;
}

}  // namespace script
