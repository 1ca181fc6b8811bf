// Test helpers on the real Win32 backend: a dialog from the real template that
// logs what its pre-translation hook and its window procedure see, in one
// sequence, and a hook that answers the system's own modal windows (message
// boxes, file dialogs) owned by a given dialog as they open.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "ui/resource.h"

namespace kx9test {

// Private messages the tests post to drive a running dialog.
inline constexpr UINT kStep = WM_APP + 1;
inline constexpr UINT kProbe = WM_APP + 2;

struct Seen {
    bool inHook;  // false: in the window procedure
    UINT message;
    WPARAM wParam;
};

class ScriptedDialog : public CDialog {
  public:
    explicit ScriptedDialog(UINT templateId = IDD_MAIN) : CDialog(templateId) {}

    std::function<void(ScriptedDialog&)> init;                  // after the base
    std::function<bool(const plat::Message&)> swallow;          // true swallows
    std::function<bool(ScriptedDialog&, UINT, WPARAM)> handle;  // true: handled
    std::vector<Seen> seen;

    HWND Hwnd() const { return static_cast<HWND>(m_hWnd); }

    // Index in `seen` of the first match, or -1.
    int Find(bool inHook, UINT message, WPARAM wParam) const {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const Seen& s = seen[i];
            if (s.inHook == inHook && s.message == message && s.wParam == wParam) return int(i);
        }
        return -1;
    }

    BOOL OnInitDialog() override {
        const BOOL r = CDialog::OnInitDialog();
        if (init) init(*this);
        return r;
    }
    BOOL PreTranslateMessage(plat::Message* msg) override {
        seen.push_back({true, msg->message, msg->wParam});
        if (swallow && swallow(*msg)) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({false, message, wParam});
        if (handle && handle(*this, message, wParam)) return 0;
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

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

// What a system window owned by `dialog` showed when it opened.
struct SystemWindowAnswer {
    HWND dialog = nullptr;
    std::string caption;
    std::string text;
    bool icon = false;
    bool ownerVisible = false;
    int opened = 0;
    // Answers it; by default the OK button.
    std::function<void(HWND)> act = [](HWND w) { PostMessageA(w, WM_COMMAND, IDOK, 0); };
};

inline SystemWindowAnswer* g_answer = nullptr;
inline HHOOK g_hook = nullptr;

inline LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto hwnd = reinterpret_cast<HWND>(wParam);
    SystemWindowAnswer* a = g_answer;
    if (code == HCBT_ACTIVATE && a != nullptr && a->dialog != nullptr && hwnd != a->dialog &&
        GetWindow(hwnd, GW_OWNER) == a->dialog && ClassName(hwnd) == "#32770") {
        ++a->opened;
        a->ownerVisible = IsWindowVisible(a->dialog) != FALSE;
        char buffer[512] = {};
        GetWindowTextA(hwnd, buffer, sizeof buffer);
        a->caption = buffer;
        for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            if (ClassName(c) != "Static") continue;
            if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                a->icon = a->icon || SendMessageA(c, STM_GETICON, 0, 0) != 0;
            } else if (GetWindowTextA(c, buffer, sizeof buffer) > 0 && a->text.empty()) {
                a->text = buffer;
            }
        }
        a->act(hwnd);
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
        g_answer = nullptr;
    }
    SystemWindowHook(const SystemWindowHook&) = delete;
    SystemWindowHook& operator=(const SystemWindowHook&) = delete;
};

}  // namespace kx9test
