// Windows as the dialog code sees them: the routing of a dialog's messages
// through its message map, default processing, and the window operations of
// CWnd over plain Win32.
#include <windows.h>

#include <map>

#include "platform/win32/dialog_state.h"

namespace plat::win32 {
namespace {

// The property under which a routed window keeps its state.
constexpr const char* kStateProperty = "Kx9.WindowState";

thread_local CurrentMessage t_current;

// Wrappers for children of windows this backend does not route (a control
// asked for its own children, say). Keyed by handle; a handle that Windows
// reuses gets the same wrapper back, which then names the new window.
std::mutex g_foreignMutex;
std::map<HWND, std::unique_ptr<CWnd>> g_foreign;

CWnd* FindWrapper(const std::vector<std::unique_ptr<CWnd>>& list, HWND child) {
    for (const auto& w : list) {
        if (w->m_hWnd == child) return w.get();
    }
    return nullptr;
}

LRESULT CALLBACK RoutedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowState* state = StateOf(hwnd);
    if (state == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        CurrentMessageScope scope(hwnd, message, wParam, lParam);
        result = state->object->WindowProc(message, wParam, lParam);
    } catch (...) {
        // An exception must not unwind through the system's frames; the
        // dialog cannot go on in an unknown state, so its run fails.
        if (state->modal != nullptr) {
            state->modal->ended = true;
            state->modal->result = -1;
            PostMessageA(hwnd, WM_NULL, 0, 0);
        }
    }
    if (message == WM_NCDESTROY) Detach(hwnd);
    return result;
}

}  // namespace

WindowState* StateOf(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    return static_cast<WindowState*>(GetPropA(hwnd, kStateProperty));
}

WindowState* Attach(CWnd* object, HWND hwnd) {
    auto state = std::make_unique<WindowState>();
    state->object = object;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        auto wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = child;
        state->controls.push_back(std::move(wrapper));
    }
    if (!SetPropA(hwnd, kStateProperty, state.get())) return nullptr;
    object->m_hWnd = hwnd;
    state->classProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RoutedWindowProc)));
    return state.release();
}

void Detach(HWND hwnd) {
    WindowState* state = StateOf(hwnd);
    if (state == nullptr) return;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->classProc));
    RemovePropA(hwnd, kStateProperty);
    if (state->object->m_hWnd == hwnd) state->object->m_hWnd = nullptr;
    // A window destroyed behind the loop's back still ends the loop.
    if (state->modal != nullptr) state->modal->ended = true;
    delete state;
}

CWnd* WrapperFor(HWND parent, HWND child) {
    if (WindowState* state = StateOf(parent)) {
        if (CWnd* w = FindWrapper(state->controls, child)) return w;
        std::lock_guard<std::mutex> lock(state->lateMutex);
        if (CWnd* w = FindWrapper(state->lateControls, child)) return w;
        auto wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = child;
        state->lateControls.push_back(std::move(wrapper));
        return state->lateControls.back().get();
    }
    std::lock_guard<std::mutex> lock(g_foreignMutex);
    auto& slot = g_foreign[child];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = child;
    }
    return slot.get();
}

LRESULT DefaultProcessing(CWnd* object, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowState* state = StateOf(hwnd);
    auto* dialog = dynamic_cast<CDialog*>(object);
    if (state != nullptr && dialog != nullptr) {
        switch (message) {
            case WM_INITDIALOG:
                return dialog->OnInitDialog();
            case WM_CLOSE:
                dialog->EndDialog(IDCANCEL);
                return 0;
            case WM_COMMAND: {
                const UINT code = HIWORD(wParam);
                const UINT id = LOWORD(wParam);
                if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) {
                    dialog->EndDialog(static_cast<int>(id));
                    return 0;
                }
                // Commands the dialog does not handle go on to the
                // application object (the help command, for one).
                CWinApp* app = AfxGetApp();
                LRESULT r = 0;
                if (code == 0 && id < 0xF000 && app != nullptr &&
                    app->DispatchThroughMap(message, wParam, lParam, &r)) {
                    return r;
                }
                break;
            }
            case WM_HELP:
                // F1 on a top-level dialog becomes the help command, which
                // goes on to the application object like any other command.
                if (!(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) &&
                    GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
                    GetKeyState(VK_MENU) >= 0) {
                    ::SendMessageA(hwnd, WM_COMMAND, ID_HELP, 0);
                    return TRUE;
                }
                break;
            default:
                break;
        }
    }
    if (state != nullptr) return CallWindowProcA(state->classProc, hwnd, message, wParam, lParam);
    // Not routed here: the window's own procedure does what it always does.
    const auto proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
    if (proc == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    return CallWindowProcA(proc, hwnd, message, wParam, lParam);
}

const CurrentMessage& Current() {
    return t_current;
}

CurrentMessageScope::CurrentMessageScope(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    : m_saved(t_current) {
    t_current = CurrentMessage{hwnd, message, wParam, lParam, true};
}

CurrentMessageScope::~CurrentMessageScope() {
    t_current = m_saved;
}

HWND DefaultOwner(const CWnd* parent) {
    if (parent != nullptr && parent->m_hWnd != nullptr) return ToHwnd(parent->m_hWnd);
    if (CWinApp* app = AfxGetApp()) {
        if (app->m_pMainWnd != nullptr && app->m_pMainWnd->m_hWnd != nullptr) {
            return ToHwnd(app->m_pMainWnd->m_hWnd);
        }
    }
    return GetActiveWindow();
}

}  // namespace plat::win32

using plat::win32::ToHwnd;

CWnd* CWnd::GetDlgItem(int id) const {
    if (m_hWnd == nullptr) return nullptr;
    HWND child = ::GetDlgItem(ToHwnd(m_hWnd), id);
    if (child == nullptr) return nullptr;
    return plat::win32::WrapperFor(ToHwnd(m_hWnd), child);
}

BOOL CWnd::ShowWindow(int showCommand) {
    if (m_hWnd == nullptr) return FALSE;
    return ::ShowWindow(ToHwnd(m_hWnd), showCommand);
}

BOOL CWnd::IsWindowVisible() const {
    // Win32 answers this from the window's own state, without a message to
    // the owning thread, so any thread may ask.
    return m_hWnd != nullptr && ::IsWindowVisible(ToHwnd(m_hWnd));
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    if (m_hWnd == nullptr) return FALSE;
    HWND after = insertAfter != nullptr ? ToHwnd(insertAfter->m_hWnd) : nullptr;
    return ::SetWindowPos(ToHwnd(m_hWnd), after, x, y, cx, cy, flags);
}

void CWnd::SetWindowTextA(const char* text) {
    if (m_hWnd == nullptr) return;
    ::SetWindowTextA(ToHwnd(m_hWnd), text != nullptr ? text : "");
}

int CWnd::GetWindowTextA(char* buffer, int maxCount) const {
    if (buffer == nullptr || maxCount <= 0) return 0;
    buffer[0] = '\0';
    if (m_hWnd == nullptr) return 0;
    return ::GetWindowTextA(ToHwnd(m_hWnd), buffer, maxCount);
}

int CWnd::MessageBoxA(const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(ToHwnd(m_hWnd), text != nullptr ? text : "",
                         caption != nullptr ? caption : plat::win32::ApplicationName(), type);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) {
    // Without a window Win32 would make a thread timer with an id of its own
    // choosing: never what the caller meant.
    if (m_hWnd == nullptr) return 0;
    return ::SetTimer(ToHwnd(m_hWnd), id, elapse, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    if (m_hWnd == nullptr) return FALSE;
    return ::KillTimer(ToHwnd(m_hWnd), id);
}

LRESULT CWnd::SendMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_hWnd == nullptr) return 0;
    return ::SendMessageA(ToHwnd(m_hWnd), message, wParam, lParam);
}

BOOL CWnd::PostMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    // A null window would turn this into a message to the thread.
    if (m_hWnd == nullptr) return FALSE;
    return ::PostMessageA(ToHwnd(m_hWnd), message, wParam, lParam);
}

BOOL CWnd::IsIconic() const {
    return m_hWnd != nullptr && ::IsIconic(ToHwnd(m_hWnd));
}

void CWnd::GetClientRect(plat::Rect* rect) const {
    if (rect == nullptr) return;
    *rect = plat::Rect{};
    RECT r{};
    if (m_hWnd == nullptr || !::GetClientRect(ToHwnd(m_hWnd), &r)) return;
    *rect = plat::Rect{r.left, r.top, r.right, r.bottom};
}

LRESULT CWnd::Default() {
    const plat::win32::CurrentMessage& m = plat::win32::Current();
    if (!m.valid || m_hWnd == nullptr || m.hwnd != ToHwnd(m_hWnd)) return 0;
    return plat::win32::DefaultProcessing(this, m.hwnd, m.message, m.wParam, m.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (DispatchThroughMap(message, wParam, lParam, &result)) return result;
    if (m_hWnd == nullptr) return 0;
    return plat::win32::DefaultProcessing(this, ToHwnd(m_hWnd), message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(plat::Message*) {
    return FALSE;
}
