// The interactive front-end: the dialog runs modally on the calling thread
// (its UI thread) while a terminal thread reads keys and draws the screen.
//
// Keys go to the dialog as key-down then key-up (see HeldKeys for how a held
// key is told from repeated presses), except those that belong to the front
// end: q and Ctrl+C close the dialog as its close box does (WM_CLOSE),
// Ctrl+Z suspends, Ctrl+L redraws, and with the virtual stick the arrows,
// c and u move it. While a message box or the save prompt is open, keys go
// to it; the dialog's thread waits in the responder until it is answered.
//
// Under the dialog, the status line: the stick's live axes and what the last
// Space did, sampled on the dialog's thread whenever its loop is idle.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/virtual_window_system.h"
#include "term/save_prompt.h"
#include "term/dialog_view.h"
#include "term/keys.h"
#include "term/status_line.h"
#include "term/stick_control.h"

namespace term {

struct FrontEndOptions {
    // The virtual stick for the panel; null for a real stick.
    StickControl* stick = nullptr;
    // Advice shown under the dialog (e.g. why the stick cannot be opened);
    // asked on the terminal thread.
    std::function<std::string()> note;
};

// The panel action a key stands for (kNone for keys that are not the panel's).
PanelAction PanelActionOf(const Key& key);

class TerminalFrontEnd final : public plat::vws::Responder {
  public:
    explicit TerminalFrontEnd(FrontEndOptions options);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    // Takes the terminal, installs itself on `desktop`, runs `application`
    // on this thread and gives everything back when it returns. False, with
    // nothing run, when there is no terminal to take.
    bool Run(plat::vws::Desktop& desktop, const std::function<void()>& application);

    int AnswerMessageBox(const plat::vws::MessageBoxCall& call) override;
    bool AnswerFileDialog(const plat::vws::FileDialogCall& call, std::string* path) override;

  private:
    void PublishDialog();
    void SampleStick(CDialog* dialog);
    void TerminalLoop();
    void OnKey(const Key& key, std::uint64_t now);
    void PostTransitions(const std::vector<KeyTransition>& transitions);
    void RequestClose(bool fromSignal);
    void Draw(bool force);
    std::uint64_t NowMs() const;

    FrontEndOptions m_options;
    std::string m_folder;
    std::atomic<CDialog*> m_dialog{nullptr};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;

    // Space presses posted to the dialog, for the status line.
    std::atomic<std::uint64_t> m_spacePresses{0};
    std::atomic<bool> m_wakePending{false};

    // Terminal thread only.
    bool m_spaceDown = false;
    KeyDecoder m_decoder;
    HeldKeys m_held;
    DialogView m_view;
    std::string m_lastFrame;
    bool m_closePending = false;

    // The open modal window, shared by both threads.
    std::mutex m_mutex;
    std::condition_variable m_answered;
    std::optional<BoxView> m_box;
    std::optional<SavePrompt> m_prompt;
    bool m_modalDone = false;
    bool m_closing = false;  // every box from now on is answered at once
    std::string m_statusText;

    // The dialog's thread only.
    StatusLine m_statusLine;
};

}  // namespace term
