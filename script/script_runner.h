// Runs a parsed script against the dialog while it runs modally: the runner
// is the desktop's idle hook (one command each time the dialog has nothing
// left to do) and its responder (every message box answered with OK and
// printed, every save-file dialog answered from the script).
//
// Time on the dialog's clock passes only in `wait`, in slices of real time
// during which the reader runs, so a script's timer ticks come out the same
// on every run.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"
#include "script/script.h"
#include "term/stick_control.h"

class CKx9JoystickCalibrationDlg;

namespace script {

// The names `show` prints, in its order, with their control ids.
struct NamedControl {
    int id;
    const char* name;
};
const std::vector<NamedControl>& ShowableControls();
// "visible:" and the names of the visible ones among ShowableControls().
std::string VisibleLine(const std::vector<int>& visibleIds);

// The box as the transcript shows it: "[box] CAPTION (TYPE)", the text's
// lines, "[end]", each line ended by '\n'.
std::string FormatBoxTranscript(const plat::vws::MessageBoxCall& call);

class ScriptRunner final : public plat::vws::Responder {
  public:
    static constexpr std::uint32_t kSliceMs = 10;
    static constexpr std::uint32_t kReportLimitMs = 3000;

    // `stick` may be null (a real stick: the script has no stick commands).
    // Relative save paths are taken from `folder`.
    ScriptRunner(std::vector<ScriptCommand> commands, term::StickControl* stick, std::ostream& out,
                 std::ostream& err, std::string folder);

    // Installs the runner on `desktop` as idle hook and responder.
    void Attach(plat::vws::Desktop& desktop);
    void Detach(plat::vws::Desktop& desktop);

    // The idle hook: runs on the dialog's thread.
    void OnIdle();

    // The line of the first command that has not run (the dialog ended
    // before the script did), or 0 when every command ran.
    int UnrunLine() const;
    // A command could not do what it says (a `stick` whose report never
    // reached the dialog); the script ended there.
    bool Failed() const { return m_failed; }

    int AnswerMessageBox(const plat::vws::MessageBoxCall& call) override;
    bool AnswerFileDialog(const plat::vws::FileDialogCall& call, std::string* path) override;

  private:
    CKx9JoystickCalibrationDlg* Dialog() const;
    void Run(const ScriptCommand& command, CKx9JoystickCalibrationDlg& dialog);
    void AwaitReport(const ScriptCommand& command, CKx9JoystickCalibrationDlg& dialog);

    std::vector<ScriptCommand> m_commands;
    std::size_t m_next = 0;
    term::StickControl* m_stick;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_folder;
    plat::vws::Desktop* m_desktop = nullptr;
    std::uint32_t m_waitLeft = 0;
    bool m_failed = false;
    // The answer to the next save-file dialog: a path, or nothing to cancel.
    std::optional<std::string> m_saveAnswer;
};

}  // namespace script
