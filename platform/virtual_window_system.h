// The virtual window system: the in-memory backend of platform/dialog.h, and
// the handles by which tests and the terminal front-end drive and inspect it.
//
// A Desktop holds everything that is not a window: the clock that timers run
// on, the responder that answers message boxes and file dialogs, the record of
// every box and file dialog shown, and a journal of what the program did to
// its windows. Windows are made from the dialog templates that the ui layer
// provides (platform/dialog_template.h).
//
// Two ways to run a dialog:
//  - modally: call CDialog::DoModal() (on any one thread). An idle hook on
//    the Desktop runs whenever the loop has nothing to deliver, and other
//    threads may post through a DialogDriver at any time;
//  - step by step on the calling thread: DialogDriver::Open() makes the window
//    and runs OnInitDialog, then Post...() and PumpOne()/PumpAll() deliver
//    messages through the same pre-translation and dispatch path as the loop.
//
// Message boxes and file dialogs do not run a nested loop: the responder
// answers at once, on the thread that opened the box, with no lock held.
//
// As on the platform, a control counts as visible (IsWindowVisible) only
// while the dialog is visible too: during OnInitDialog, before the dialog is
// first shown, and once it has ended, no control is.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_template.h"

namespace plat::vws {

struct MessageBoxCall {
    WindowRef owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    // Whether the owner window was on screen when the box opened.
    bool ownerVisible = false;
};

struct FileDialogCall {
    WindowRef owner = nullptr;
    bool open = false;  // false: a save dialog
    std::string defaultExt;
    std::string fileName;
    std::uint32_t flags = 0;
    std::string filter;
};

// Answers the boxes and file dialogs that the program opens. Runs on the
// thread that opened them (the dialog's UI thread).
class Responder {
  public:
    virtual ~Responder() = default;
    // The button that dismissed the box (IDOK, IDCANCEL, ...).
    virtual int AnswerMessageBox(const MessageBoxCall& call);
    // True, with the full path chosen, to confirm; false to cancel.
    virtual bool AnswerFileDialog(const FileDialogCall& call, std::string* path);
};

struct MessageBoxRecord {
    MessageBoxCall call;
    int answer = 0;
};

struct FileDialogRecord {
    FileDialogCall call;
    bool confirmed = false;
    std::string path;
};

enum class Clock {
    kManual,  // stands still until AdvanceClock()
    kReal,    // steady time; the modal loop sleeps until the next timer is due
};

// The process's window system while it exists. Constructing one installs it
// (the previous one comes back when it is destroyed); make it before any
// window and destroy it after them. Without one, a built-in desktop with the
// real clock and the default responder serves. Thread-safe throughout.
class Desktop {
  public:
    explicit Desktop(Clock clock = Clock::kManual);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // The installed desktop (never null).
    static Desktop& Current();

    // Not owned; null restores the default (OK to every box, cancel to every
    // file dialog).
    void SetResponder(Responder* responder);
    // Runs on the modal loop's thread each time it runs out of messages and
    // due timers, before it waits. It may post, advance the clock or end the
    // dialog. Empty: no hook.
    void SetIdleHook(std::function<void()> hook);

    // Milliseconds since the desktop was made.
    std::uint64_t Now() const;
    // Manual clock only: moves time on; timers that fall due deliver one
    // WM_TIMER each when the queue is next empty (as WM_TIMER never piles up).
    void AdvanceClock(std::uint32_t milliseconds);

    // GetSystemMetrics; SM_CXICON and SM_CYICON are 32 until changed.
    void SetSystemMetric(int index, int value);
    int SystemMetric(int index) const;

    std::vector<MessageBoxRecord> MessageBoxes() const;
    std::vector<FileDialogRecord> FileDialogs() const;

    // One line per thing done to a window or by the framework, in order:
    //   "CreateDialog 102", "ShowDialog", "EndDialog 2", "DestroyDialog",
    //   "ShowWindow 1003 5", "SetWindowPos 1011 95 230 0 0 5",
    //   "SetWindowText dialog <text>", "SetIcon big icon128",
    //   "MessageBox <type> <caption>: <text>", "FileDialog <file name>",
    //   "SetTimer 1 500", "KillTimer 1", "DefaultPaint", "BeginPaint dc1",
    //   "IconEraseBkgnd dc1", "DrawIcon dc1 0 0 icon128", "EndPaint dc1",
    //   "InitCommonControls 8 255", "AfxEnableControlContainer",
    //   "SetRegistryKey <key>", "OnHelp".
    // Controls are named by id, the dialog as "dialog". Only the newest
    // entries are kept, so a long run stays bounded.
    std::vector<std::string> Journal() const;
    // Adds a line of the caller's own (a test double marking its calls).
    void Note(const std::string& line);
    void ClearRecords();

    // Waits until check() holds, re-testing whenever the window system
    // changes and at least every few milliseconds; false if the limit passed.
    bool WaitUntil(const std::function<bool()>& check, std::chrono::milliseconds limit);

    struct State;  // the implementation's (platform/virtual/)
    State& state() const { return *m_state; }

  private:
    State* m_state;
    Desktop* m_previous;
};

struct ControlInfo {
    int id = 0;
    ControlKind kind = ControlKind::kStaticText;
    std::string text;  // UTF-8
    unsigned image = 0;
    Rect rect;             // pixels in the dialog's client area
    bool visible = false;  // as IsWindowVisible reports it
};

// Drives and inspects one dialog. Open/PumpOne/PumpAll/Close belong to the
// thread that runs the dialog; everything else may be called from any thread.
// Before the window exists (or after the dialog object is gone) queries
// report nothing and posts fail.
class DialogDriver {
  public:
    explicit DialogDriver(CDialog& dialog) : m_dialog(&dialog) {}

    // Step by step: makes the window and controls, runs OnInitDialog and
    // shows the dialog, as DoModal does before its loop. False when there is
    // no template for the dialog.
    bool Open();
    // Delivers one queued message, or one due timer, through
    // PreTranslateMessage and then the window. False when there was nothing.
    // Once the dialog has ended, the window is destroyed as DoModal would.
    bool PumpOne();
    // Pumps until nothing is left or the dialog has ended; the count.
    int PumpAll();
    // Destroys the window if it still exists (its timers end with it).
    void Close();

    // Queued input, addressed as the platform does: keys to the focus window,
    // the rest to the dialog. KeyDown marks a repeat when the key was already
    // down.
    bool PostKeyDown(UINT virtualKey);
    bool PostKeyUp(UINT virtualKey);
    bool PostKey(UINT virtualKey);  // down, then up
    bool PostClick(int controlId);  // WM_COMMAND BN_CLICKED from the control
    bool PostClose();               // WM_CLOSE
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);

    bool Exists() const;   // the window has been made and not yet destroyed
    bool Visible() const;  // the dialog window is on screen
    bool Ended() const;    // EndDialog has been called
    INT_PTR Result() const;
    std::string Title() const;

    // Controls in template order.
    std::vector<ControlInfo> Controls() const;
    // A control by id (id 0 when there is none).
    ControlInfo Control(int id) const;
    // Ids of the controls that IsWindowVisible reports visible, template order.
    std::vector<int> VisibleIds() const;

    // Test settings: the minimised state, and the client size that
    // GetClientRect reports (the template's size until changed).
    void SetIconic(bool iconic);
    void SetClientSize(int width, int height);

  private:
    CDialog* m_dialog;
};

// Dialog units to pixels for 8-point MS Shell Dlg at 96 DPI (base units 6 x
// 13), rounded as MapDialogRect rounds.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

// The pixel size of a BMP file image, or false when it is not one.
bool BitmapSize(const ResourceBytes& bmp, int* width, int* height);

// A name for an icon handle in the journal: "icon<id>", or "noicon".
std::string IconName(IconRef icon);

}  // namespace plat::vws
