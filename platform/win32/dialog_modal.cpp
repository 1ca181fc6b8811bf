// The modal dialog: made modeless from its template resource, then run in a
// loop of our own, because every queued message must reach the dialog's
// PreTranslateMessage before the dialog keyboard handling sees it; the loop
// inside DialogBoxParam would hand keys to IsDialogMessage first.
#include <windows.h>

#include "platform/win32/dialog_state.h"

namespace plat::win32 {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) {
        // Once attached, the window's messages arrive through the routed
        // procedure first; what reaches here is the class's default path.
        return FALSE;
    }
    const auto* params = reinterpret_cast<const CreateParams*>(lParam);
    CDialog* dialog = params->dialog;
    WindowState* state = Attach(dialog, hwnd);
    if (state == nullptr) return FALSE;
    // Bound before OnInitDialog, which may already end the dialog.
    state->modal = params->run;
    RECT before{};
    GetWindowRect(hwnd, &before);
    INT_PTR result = FALSE;
    {
        CurrentMessageScope scope(hwnd, message, wParam, lParam);
        result = static_cast<INT_PTR>(dialog->WindowProc(message, wParam, lParam));
    }
    // A dialog that its initialisation did not move opens centred on its
    // owner or on the work area, not at the template's origin (0, 0) in the
    // corner of the screen.
    RECT after{};
    if (IsWindow(hwnd) && GetWindowRect(hwnd, &after) && after.left == before.left &&
        after.top == before.top && !(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD)) {
        RECT area{};
        HWND owner = GetWindow(hwnd, GW_OWNER);
        if (owner == nullptr || !IsWindowVisible(owner) || IsIconic(owner) ||
            !GetWindowRect(owner, &area)) {
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        }
        const int w = after.right - after.left;
        const int h = after.bottom - after.top;
        int x = area.left + ((area.right - area.left) - w) / 2;
        int y = area.top + ((area.bottom - area.top) - h) / 2;
        if (x < area.left) x = area.left;
        if (y < area.top) y = area.top;
        SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return result;
}

}  // namespace plat::win32

using plat::win32::ToHwnd;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    // A window that outlives its object must stop calling into it first.
    if (m_hWnd != nullptr) {
        HWND hwnd = ToHwnd(m_hWnd);
        plat::win32::Detach(hwnd);
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        m_hWnd = nullptr;
    }
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) return -1;  // this object already has its window
    plat::win32::ModalRun run;
    plat::win32::CreateParams params{this, &run};
    HWND owner = m_parent != nullptr ? ToHwnd(m_parent->m_hWnd) : nullptr;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (CWinApp* app = AfxGetApp(); app != nullptr && app->m_hInstance != nullptr) {
        instance = static_cast<HINSTANCE>(app->m_hInstance);
    }
    HWND hwnd = CreateDialogParamA(instance, MAKEINTRESOURCEA(m_templateId), owner,
                                   &plat::win32::DialogProc, reinterpret_cast<LPARAM>(&params));
    if (hwnd == nullptr) return -1;

    bool ownerDisabled = false;
    if (owner != nullptr && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    // A modal dialog is shown whatever its template says.
    if (!run.ended && !::IsWindowVisible(hwnd)) ::ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG msg{};
    while (!run.ended) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Quitting ends the dialog; the quit goes on to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            run.result = -1;
            break;
        }
        if (got == -1) {
            run.result = -1;
            break;
        }
        plat::Message m{msg.hwnd, msg.message, msg.wParam, msg.lParam};
        if (!PreTranslateMessage(&m)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    // The owner is enabled before the dialog goes, so that activation
    // returns to it and not to another program's window.
    if (ownerDisabled) EnableWindow(owner, TRUE);
    if (IsWindow(hwnd)) {
        if (plat::win32::WindowState* state = plat::win32::StateOf(hwnd)) state->modal = nullptr;
        if (owner != nullptr && GetActiveWindow() == hwnd) SetActiveWindow(owner);
        DestroyWindow(hwnd);
    }
    return run.result;
}

void CDialog::EndDialog(int result) {
    plat::win32::WindowState* state = plat::win32::StateOf(ToHwnd(m_hWnd));
    if (state == nullptr) return;
    if (state->modal != nullptr) {
        state->modal->ended = true;
        state->modal->result = result;
        // Hidden at once, as Win32 ends a modal dialog; destroyed when the
        // loop has returned, so a handler that ends the dialog may go on
        // using its window until it returns.
        ::SetWindowPos(ToHwnd(m_hWnd), nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::PostMessageA(ToHwnd(m_hWnd), WM_NULL, 0, 0);
    }
}

BOOL CDialog::PreTranslateMessage(plat::Message* msg) {
    if (msg == nullptr || m_hWnd == nullptr) return FALSE;
    MSG m{};
    m.hwnd = static_cast<HWND>(msg->hwnd);
    m.message = msg->message;
    m.wParam = msg->wParam;
    m.lParam = msg->lParam;
    m.time = static_cast<DWORD>(GetMessageTime());
    const DWORD pos = GetMessagePos();
    m.pt.x = static_cast<short>(LOWORD(pos));
    m.pt.y = static_cast<short>(HIWORD(pos));
    return IsDialogMessageA(ToHwnd(m_hWnd), &m);
}
