// Private to the Win32 dialog backend: what it keeps for each window whose
// messages it routes (the dialogs that DoModal creates), the message being
// handled on this thread, and the helpers the backend files share.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace plat::win32 {

inline HWND ToHwnd(WindowRef window) {
    return static_cast<HWND>(window);
}

// One modal run of a dialog; lives on DoModal's stack while the loop runs.
struct ModalRun {
    bool ended = false;
    INT_PTR result = -1;
};

// What DoModal hands to the window it creates (the WM_INITDIALOG parameter).
struct CreateParams {
    CDialog* dialog;
    ModalRun* run;
};

// The dialog procedure of every dialog DoModal creates.
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Kept per routed window from WM_INITDIALOG until WM_NCDESTROY.
struct WindowState {
    CWnd* object = nullptr;
    WNDPROC classProc = nullptr;  // the dialog class's own procedure
    ModalRun* modal = nullptr;
    // One wrapper per control that existed when the window was attached.
    // Filled before OnInitDialog and never changed afterwards, so any thread
    // may search it (the reader thread asks its controls for visibility).
    std::vector<std::unique_ptr<CWnd>> controls;
    // Wrappers for controls created later, made on first request.
    std::mutex lateMutex;
    std::vector<std::unique_ptr<CWnd>> lateControls;
};

// The state of a routed window, or null.
WindowState* StateOf(HWND hwnd);

// Starts routing the window's messages through object->WindowProc and makes
// a wrapper for each of its controls.
WindowState* Attach(CWnd* object, HWND hwnd);

// Stops routing and frees the state (the control wrappers with it).
void Detach(HWND hwnd);

// The wrapper for a child window of parent; lives as long as the child.
CWnd* WrapperFor(HWND parent, HWND child);

// What the window does with a message no map entry took.
LRESULT DefaultProcessing(CWnd* object, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The message this thread is handling, for CWnd::Default(). Scopes nest:
// a message sent while another is handled restores the outer one on exit.
struct CurrentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool valid = false;
};

const CurrentMessage& Current();

class CurrentMessageScope {
  public:
    CurrentMessageScope(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    ~CurrentMessageScope();
    CurrentMessageScope(const CurrentMessageScope&) = delete;
    CurrentMessageScope& operator=(const CurrentMessageScope&) = delete;

  private:
    CurrentMessage m_saved;
};

// The window that owns a framework window opened without an explicit parent:
// the application's main window, else this thread's active window.
HWND DefaultOwner(const CWnd* parent);

// A "name|pattern||" filter as the file dialog takes it: NUL-separated,
// ended by two NULs; empty when there is no complete entry.
std::string FileDialogFilter(const std::string& filter);

// The caption of a message box given none: the application's name.
const char* ApplicationName();

}  // namespace plat::win32
