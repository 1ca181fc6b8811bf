#include "term/front_end.h"

#include <chrono>

#include "platform/current_folder.h"
#include "platform/terminal.h"
#include "platform/win_defs.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace term {
namespace {

// How long the terminal thread sleeps at most: the panel's values and the
// dialog's changes show within this.
constexpr int kFrameMs = 40;
// An ESC with nothing after it for this long was the Escape key.
constexpr int kEscapeMs = 30;
// WM_NULL: does nothing, but lets the dialog's loop run its idle hook, where
// the status line's sample of the stick is taken.
constexpr UINT kWakeMessage = 0x0000;
// The keyboard protocol flag that says releases are reported.
constexpr unsigned char kReportsReleases = 2;

}  // namespace

PanelAction PanelActionOf(const Key& key) {
    switch (key.kind) {
        case KeyKind::kUp:
            return PanelAction::kUp;
        case KeyKind::kDown:
            return PanelAction::kDown;
        case KeyKind::kLeft:
            return PanelAction::kLeft;
        case KeyKind::kRight:
            return PanelAction::kRight;
        case KeyKind::kChar:
            if (key.ch == 'c' || key.ch == 'C') return PanelAction::kCentre;
            if (key.ch == 'u' || key.ch == 'U') return PanelAction::kTogglePlug;
            return PanelAction::kNone;
        default:
            return PanelAction::kNone;
    }
}

TerminalFrontEnd::TerminalFrontEnd(FrontEndOptions options)
    : m_options(std::move(options)), m_folder(plat::CurrentFolder()) {}

TerminalFrontEnd::~TerminalFrontEnd() {
    m_stop = true;
    plat::WakeTerminalReader();
    if (m_thread.joinable()) m_thread.join();
}

std::uint64_t TerminalFrontEnd::NowMs() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool TerminalFrontEnd::Run(plat::vws::Desktop& desktop, const std::function<void()>& application) {
    if (!plat::EnterRawTerminal()) return false;
    desktop.SetResponder(this);
    desktop.SetIdleHook([this] { PublishDialog(); });
    m_stop = false;
    m_thread = std::thread([this] { TerminalLoop(); });

    application();

    desktop.SetIdleHook({});
    desktop.SetResponder(nullptr);
    m_dialog = nullptr;
    m_stop = true;
    plat::WakeTerminalReader();
    m_thread.join();
    plat::LeaveRawTerminal();
    return true;
}

// On the dialog's thread, where the application object's main window may
// be read: the terminal thread learns which dialog to drive.
void TerminalFrontEnd::PublishDialog() {
    CWinApp* app = AfxGetApp();
    CDialog* dialog = app != nullptr ? dynamic_cast<CDialog*>(app->m_pMainWnd) : nullptr;
    if (dialog != nullptr && m_dialog.load() != dialog) {
        m_dialog = dialog;
        plat::WakeTerminalReader();
    }
    SampleStick(dialog);
}

// On the dialog's thread, the only one on which the dialog object is sure to
// exist: the status line's view of the stick.
void TerminalFrontEnd::SampleStick(CDialog* dialog) {
    m_wakePending = false;
    auto* wizard = dynamic_cast<CKx9JoystickCalibrationDlg*>(dialog);
    if (wizard == nullptr) return;
    StickSample sample;
    sample.found = wizard->m_bDeviceFound.load() != 0;
    sample.linkOpen = wizard->m_pInBuf.load() != nullptr;
    sample.linkLost = wizard->m_bLinkLost.load() != 0;
    sample.x = wizard->m_nCurX.load();
    sample.y = wizard->m_nCurY.load();
    sample.step = StepOfVisibleTexts(plat::vws::DialogDriver(*dialog).VisibleIds());
    sample.spacePresses = m_spacePresses.load();
    m_statusLine.Update(sample);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_statusText = m_statusLine.Text();
}

int TerminalFrontEnd::AnswerMessageBox(const plat::vws::MessageBoxCall& call) {
    PublishDialog();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closing) return IDOK;
    m_box = BoxView{call.caption, call.text, call.type, 0};
    m_modalDone = false;
    plat::WakeTerminalReader();
    m_answered.wait(lock, [&] { return m_modalDone || m_closing; });
    m_box.reset();
    plat::WakeTerminalReader();
    return IDOK;
}

bool TerminalFrontEnd::AnswerFileDialog(const plat::vws::FileDialogCall& call, std::string* path) {
    PublishDialog();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closing) return false;
    m_prompt.emplace(call, m_folder);
    m_modalDone = false;
    plat::WakeTerminalReader();
    m_answered.wait(lock, [&] { return m_modalDone || m_closing; });
    const bool confirmed = m_modalDone && m_prompt->GetState() == SavePrompt::State::kConfirmed;
    if (confirmed) *path = m_prompt->Path();
    m_prompt.reset();
    plat::WakeTerminalReader();
    return confirmed;
}

void TerminalFrontEnd::PostTransitions(const std::vector<KeyTransition>& transitions) {
    CDialog* dialog = m_dialog.load();
    if (dialog == nullptr) return;
    plat::vws::DialogDriver driver(*dialog);
    for (const KeyTransition& t : transitions) {
        if (t.down) {
            driver.PostKeyDown(t.vk);
        } else {
            driver.PostKeyUp(t.vk);
        }
        if (t.vk != VK_SPACE) continue;
        // Counted once posted: a sample that sees the count was taken with
        // the queue empty, after the dialog judged the press.
        if (t.down && !m_spaceDown) ++m_spacePresses;
        m_spaceDown = t.down;
    }
}

void TerminalFrontEnd::RequestClose(bool fromSignal) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A signal may come with nobody at the keyboard: answer whatever is
        // open, and every box the close itself brings up.
        if (fromSignal || m_box.has_value() || m_prompt.has_value()) {
            if (fromSignal) m_closing = true;
            m_modalDone = true;
            m_answered.notify_all();
        }
    }
    std::vector<KeyTransition> released;
    m_held.ReleaseAll(&released);
    PostTransitions(released);
    m_closePending = true;
}

void TerminalFrontEnd::OnKey(const Key& key, std::uint64_t now) {
    // The terminal reports key-ups: the held-key guess gives way to them.
    if ((key.kind == KeyKind::kKeyboardProtocol && (key.ch & kReportsReleases) != 0) ||
        key.event == KeyEvent::kRelease) {
        std::vector<KeyTransition> released;
        m_held.UseReportedReleases(&released);
        PostTransitions(released);
    }
    if (key.kind == KeyKind::kKeyboardProtocol) return;
    // A release is the dialog's key-up and nothing else: boxes, the prompt
    // and the front end's own keys act on presses.
    if (key.event == KeyEvent::kRelease) {
        std::vector<KeyTransition> transitions;
        if (const unsigned vk = VirtualKeyOf(key)) m_held.Release(vk, &transitions);
        PostTransitions(transitions);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_box.has_value()) {
            if (key.kind == KeyKind::kEnter || key.kind == KeyKind::kEscape) {
                m_modalDone = true;
                m_answered.notify_all();
            } else if (key.kind == KeyKind::kUp) {
                m_box->scroll = std::max(0, m_box->scroll - 1);
            } else if (key.kind == KeyKind::kDown) {
                ++m_box->scroll;
            } else if (key.kind == KeyKind::kCtrlC) {
                m_modalDone = true;
                m_answered.notify_all();
                m_closePending = true;
            }
            return;
        }
        if (m_prompt.has_value()) {
            m_prompt->OnKey(key);
            if (m_prompt->Finished()) {
                m_modalDone = true;
                m_answered.notify_all();
            }
            return;
        }
    }
    if (key.kind == KeyKind::kCtrlC ||
        (key.kind == KeyKind::kChar && (key.ch == 'q' || key.ch == 'Q'))) {
        RequestClose(false);
        return;
    }
    if (key.kind == KeyKind::kCtrlZ) {
        plat::SuspendTerminal();
        Draw(true);
        return;
    }
    if (key.kind == KeyKind::kCtrlL) {
        Draw(true);
        return;
    }
    if (m_options.stick != nullptr) {
        const PanelAction action = PanelActionOf(key);
        if (action != PanelAction::kNone) {
            // Only the last key pressed repeats: a held key's repeats have
            // stopped, so it counts as released (unless its release will
            // be reported).
            if (!m_held.UsesReportedReleases()) {
                std::vector<KeyTransition> released;
                m_held.ReleaseAll(&released);
                PostTransitions(released);
            }
            ApplyPanelAction(*m_options.stick, action);
            return;
        }
    }
    const unsigned vk = VirtualKeyOf(key);
    if (vk == 0) return;
    std::vector<KeyTransition> transitions;
    m_held.Press(vk, now, &transitions);
    PostTransitions(transitions);
}

void TerminalFrontEnd::Draw(bool force) {
    const plat::TerminalSize size = plat::GetTerminalSize();
    ScreenModel model;
    if (CDialog* dialog = m_dialog.load()) {
        plat::vws::DialogDriver driver(*dialog);
        model.title = driver.Title();
        model.dialogShown = driver.Visible();
        model.controls = driver.Controls();
    }
    if (m_options.stick != nullptr) {
        model.panel =
            PanelView{m_options.stick->X(), m_options.stick->Y(), m_options.stick->Plugged()};
    }
    const std::string advice = m_options.note ? m_options.note() : std::string();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        model.note = m_statusText;
        if (!advice.empty()) model.note += (model.note.empty() ? "" : "\n") + advice;
        if (m_box.has_value()) {
            model.box = *m_box;
            // Keep the scroll position within the text.
            const int lines = static_cast<int>(SplitLines(m_box->text).size());
            m_box->scroll =
                std::min(m_box->scroll, std::max(0, lines - BoxTextRows(*m_box, size.rows)));
            model.box->scroll = m_box->scroll;
        }
        if (m_prompt.has_value()) {
            PromptView p;
            p.call = m_prompt->Call();
            p.folder = m_folder;
            p.name = m_prompt->Name();
            p.message = m_prompt->Message();
            p.confirming = m_prompt->GetState() == SavePrompt::State::kConfirmOverwrite;
            model.prompt = std::move(p);
        }
    }
    std::string frame = m_view.Compose(model, size.columns, size.rows).ToAnsi();
    if (force || frame != m_lastFrame) {
        plat::WriteTerminal(force ? "\x1b[2J" + frame : frame);
        m_lastFrame = std::move(frame);
    }
}

void TerminalFrontEnd::TerminalLoop() {
    Draw(true);
    unsigned char buffer[256];
    while (!m_stop.load()) {
        const unsigned events = plat::TakeTerminalEvents();
        if ((events & plat::kTerminalCloseRequest) != 0) RequestClose(true);
        const bool redraw = (events & (plat::kTerminalResized | plat::kTerminalResumed)) != 0;

        // Keeps the status line's sample of the stick fresh; one wake at a
        // time, so that none pile up while a box holds the dialog's thread.
        if (CDialog* dialog = m_dialog.load(); dialog != nullptr && !m_wakePending.exchange(true)) {
            if (!plat::vws::DialogDriver(*dialog).Post(kWakeMessage, 0, 0)) m_wakePending = false;
        }

        if (m_closePending) {
            if (CDialog* dialog = m_dialog.load()) {
                if (plat::vws::DialogDriver(*dialog).PostClose()) m_closePending = false;
            }
        }

        std::uint64_t now = NowMs();
        int timeout = kFrameMs;
        const std::int64_t release = m_held.MsUntilRelease(now);
        if (release >= 0) timeout = static_cast<int>(std::min<std::int64_t>(timeout, release));
        if (m_decoder.Pending()) timeout = std::min(timeout, kEscapeMs);

        const int n = plat::ReadTerminal(buffer, sizeof buffer, timeout);
        now = NowMs();
        std::vector<Key> keys;
        if (n > 0) {
            m_decoder.Feed(buffer, static_cast<std::size_t>(n), &keys);
        } else if (m_decoder.Pending()) {
            m_decoder.Flush(&keys);
        }
        if (n < 0) {
            // The terminal is gone: nobody can answer or see anything.
            RequestClose(true);
        }
        for (const Key& k : keys) OnKey(k, now);

        std::vector<KeyTransition> released;
        m_held.Tick(now, &released);
        PostTransitions(released);

        if (n >= 0) Draw(redraw);
        if (n < 0 && !m_stop.load()) {
            // Without input there is nothing to wait on; do not spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
        }
    }
}

}  // namespace term
