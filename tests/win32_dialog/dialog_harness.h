// A dialog for tests on the real Win32 backend: built from the real template
// resource, it logs what its pre-translation hook and its window procedure
// see, in one sequence, and lets each test script its initialisation, its
// hook and its handling of messages.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "ui/resource.h"

namespace kx9test {

struct Seen {
    enum Where { kHook, kProc } where;
    UINT message;
    WPARAM wParam;
};

class ScriptedDialog : public CDialog {
  public:
    explicit ScriptedDialog(UINT templateId = IDD_MAIN) : CDialog(templateId) {}

    // Runs in OnInitDialog after the base.
    std::function<void(ScriptedDialog&)> init;
    // Returns true to swallow; the base keyboard handling runs otherwise.
    std::function<bool(ScriptedDialog&, const plat::Message&)> hook;
    // Returns true when it handled the message (result in *result).
    std::function<bool(ScriptedDialog&, UINT, WPARAM, LPARAM, LRESULT*)> proc;

    std::vector<Seen> seen;

    HWND Hwnd() const { return static_cast<HWND>(m_hWnd); }

    // Index in `seen` of the first entry matching, or -1.
    int Find(Seen::Where where, UINT message, WPARAM wParam) const {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].where == where && seen[i].message == message && seen[i].wParam == wParam) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    BOOL OnInitDialog() override {
        const BOOL r = CDialog::OnInitDialog();
        if (init) init(*this);
        return r;
    }

    BOOL PreTranslateMessage(plat::Message* msg) override {
        seen.push_back({Seen::kHook, msg->message, msg->wParam});
        if (hook && hook(*this, *msg)) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({Seen::kProc, message, wParam});
        LRESULT result = 0;
        if (proc && proc(*this, message, wParam, lParam, &result)) return result;
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

// Private messages the tests post to drive a running dialog.
inline constexpr UINT kStep = WM_APP + 1;
inline constexpr UINT kProbe = WM_APP + 2;

inline std::wstring WindowTextW(HWND hwnd) {
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

inline std::string ClassName(HWND hwnd) {
    char buffer[64] = {};
    GetClassNameA(hwnd, buffer, 64);
    return buffer;
}

// A control's rectangle in its parent's client pixels.
inline RECT ClientRectOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Dialog units to pixels with the dialog's own font.
inline RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    RECT r{x, y, x + cx, y + cy};
    MapDialogRect(dialog, &r);
    return r;
}

// Answers the system's own modal windows (message boxes, file dialogs) as
// they open on this thread, recording what they showed.
struct SystemWindowAnswer {
    HWND dialog = nullptr;
    HWND owner = nullptr;
    std::string caption;
    std::string text;
    bool icon = false;
    bool ownerVisible = false;
    std::function<void(HWND)> act;
    int opened = 0;
};

inline SystemWindowAnswer* g_answer = nullptr;
inline HHOOK g_hook = nullptr;

inline LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_answer != nullptr && g_answer->dialog != nullptr) {
        auto hwnd = reinterpret_cast<HWND>(wParam);
        if (ClassName(hwnd) == "#32770" && hwnd != g_answer->dialog &&
            GetWindow(hwnd, GW_OWNER) == g_answer->dialog) {
            SystemWindowAnswer& a = *g_answer;
            ++a.opened;
            a.owner = GetWindow(hwnd, GW_OWNER);
            a.ownerVisible = IsWindowVisible(a.owner) != FALSE;
            char buffer[512] = {};
            GetWindowTextA(hwnd, buffer, sizeof buffer);
            a.caption = buffer;
            a.text.clear();
            a.icon = false;
            for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
                if (ClassName(c) != "Static") continue;
                const LONG style = GetWindowLongA(c, GWL_STYLE);
                if ((style & SS_TYPEMASK) == SS_ICON) {
                    a.icon = a.icon || SendMessageA(c, STM_GETICON, 0, 0) != 0;
                } else if (a.text.empty()) {
                    GetWindowTextA(c, buffer, sizeof buffer);
                    a.text = buffer;
                }
            }
            if (a.act) a.act(hwnd);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

class SystemWindowHook {
  public:
    explicit SystemWindowHook(SystemWindowAnswer* answer) {
        g_answer = answer;
        g_hook = SetWindowsHookExA(WH_CBT, &CbtHook, nullptr, GetCurrentThreadId());
    }
    ~SystemWindowHook() {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        g_answer = nullptr;
    }
};

}  // namespace kx9test
