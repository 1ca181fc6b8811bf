// Inside the virtual window system: the window records and the desktop's
// shared state. Only platform/virtual/ includes this.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"

namespace plat::vws {

struct Window;

struct Timer {
    Window* target;
    UINT_PTR id;
    std::uint32_t period;
    std::uint64_t due;
};

// A dialog or one of its controls. The fields above the line are fixed once
// the window is published; visibility is atomic so that any thread may read
// it without the lock; the rest is guarded by the desktop's mutex.
struct Window {
    Desktop::State* desk = nullptr;
    Window* parent = nullptr;  // null for the dialog
    CWnd* object = nullptr;    // the CDialog, or the control's own CWnd
    std::unique_ptr<CWnd> ownObject;
    std::vector<std::unique_ptr<Window>> children;  // template order
    int id = 0;
    bool isDialog = false;
    ControlKind kind = ControlKind::kStaticText;
    std::uint32_t style = 0;
    unsigned image = 0;
    std::string name;  // in the journal: the id, or "dialog"
    // ----
    std::atomic<bool> visible{false};
    std::atomic<bool> destroyed{false};
    // ----
    std::string text;
    Rect rect;  // pixels, in the parent's client area
    // Dialog only:
    std::deque<Message> queue;
    std::vector<Timer> timers;
    bool ended = false;
    INT_PTR result = 0;
    bool iconic = false;
    int clientWidth = 0;
    int clientHeight = 0;
    IconRef bigIcon = nullptr;
    IconRef smallIcon = nullptr;
    Window* focus = nullptr;
    std::set<UINT> keysDown;

    Window* Top() { return parent != nullptr ? parent : this; }
};

struct Desktop::State {
    explicit State(Clock c) : clock(c), start(std::chrono::steady_clock::now()) {}

    const Clock clock;
    const std::chrono::steady_clock::time_point start;

    mutable std::mutex mu;
    std::condition_variable cv;
    std::uint64_t changes = 0;  // bumped on every change, for WaitUntil
    std::uint64_t manualNow = 0;
    Responder* responder = nullptr;
    std::function<void()> idleHook;
    std::map<int, int> metrics;
    std::deque<MessageBoxRecord> boxes;
    std::deque<FileDialogRecord> files;
    std::deque<std::string> journal;
    int nextDc = 0;
    // Each dialog's window tree, kept until the dialog object goes (or makes a
    // new window), so a control handed out earlier never dangles.
    std::map<CDialog*, std::unique_ptr<Window>> dialogs;

    std::uint64_t NowLocked() const;
    // Callers hold mu.
    void JournalLocked(std::string line);
    void ChangedLocked() {
        ++changes;
        cv.notify_all();
    }
    void Journal(std::string line) {
        std::lock_guard<std::mutex> lock(mu);
        JournalLocked(std::move(line));
    }
    Window* FindLocked(const CDialog* dialog) const;
    Responder& ResponderLocked();
};

// The window behind a CWnd, or null.
inline Window* WindowOf(const CWnd* wnd) {
    return wnd != nullptr ? static_cast<Window*>(wnd->m_hWnd) : nullptr;
}

// The dialog-side operations that both CDialog::DoModal and DialogDriver use,
// so that the two ways of running a dialog cannot drift apart.
bool CreateAndInit(CDialog& dialog);
// One queued message or due timer through pre-translation and dispatch.
bool PumpOneMessage(Window* dialog);
bool HasWorkLocked(const Window* dialog, std::uint64_t now);
void DestroyDialogWindow(Window* dialog);

void RecordMessageBox(Desktop::State& desk, MessageBoxRecord record);
void RecordFileDialog(Desktop::State& desk, FileDialogRecord record);

constexpr std::size_t kMaxRecords = 100000;

}  // namespace plat::vws
