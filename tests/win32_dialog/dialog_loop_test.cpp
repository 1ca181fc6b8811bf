// The Win32 dialog backend on the real template resource under a real window
// system: the controls as created, the modal loop and its pre-translation
// hook, visibility from another thread, message boxes and the save dialog.
// Running dialogs are driven by messages posted from their own handlers.
#include <windows.h>

#include <dlgs.h>
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "platform/win32/dialog_state.h"
#include "tests/win32_dialog/dialog_harness.h"

using kx9test::kProbe;
using kx9test::kStep;
using kx9test::ScriptedDialog;

namespace {

constexpr DWORD kText = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kPicture = WS_CHILD | WS_VISIBLE | SS_BITMAP;
#define KX9_STEP(n, where)                         \
    n L".    Move \u201CJoystick\u201D SLOWLY to " \
      L"reach " where L"\n        Then press \u201CSPACE\u201D"

struct ExpectedControl {
    int id;
    const char* className;
    DWORD style;
    const wchar_t* text;  // null for a picture
    int x, y, cx, cy;     // dialog units; a picture's cx, cy in pixels
};

// In template order, which is also z-order.
const ExpectedControl kControls[] = {
    {IDC_STEP_UP, "Static", kText, KX9_STEP(L"2", L"up"), 17, 37, 209, 18},
    {IDC_STEP_RIGHT, "Static", kText, KX9_STEP(L"3", L"right"), 17, 57, 170, 17},
    {IDC_STEP_DOWN, "Static", kText, KX9_STEP(L"4", L"down"), 17, 78, 212, 16},
    {IDC_READ_EEPROM, "Button", kButton, L"READ EEPROM", 7, 283, 66, 16},
    {IDC_STEP_PLUG, "Static", kText,
     L"1.    Plug Joystick to PC\n        Then press \u201CSPACE\u201D", 17, 14, 211, 16},
    {IDC_STEP_LEFT, "Static", kText, KX9_STEP(L"5", L"left"), 17, 99, 212, 16},
    {IDC_STEP_UNPLUG, "Static", kText, L"6.    Unplug USB of Joystick.", 17, 121, 213, 16},
    {IDC_PIC_1, "Static", kPicture, nullptr, 85, 164, 175, 204},
    {IDC_PIC_2, "Static", kPicture, nullptr, 94, 164, 175, 218},
    {IDC_PIC_3, "Static", kPicture, nullptr, 101, 164, 181, 204},
    {IDC_PIC_4, "Static", kPicture, nullptr, 110, 164, 175, 204},
    {IDC_PIC_5, "Static", kPicture, nullptr, 120, 164, 196, 204},
};

RECT Units(HWND dialog, int x, int y, int cx, int cy) {
    RECT r{x, y, cx, cy};  // position and size are converted separately
    MapDialogRect(dialog, &r);
    return r;
}

TEST(Win32Template, ControlsFrameAndVisibilityAsCreated) {
    ScriptedDialog dlg;
    bool shownDuringInit = true;
    dlg.init = [&](ScriptedDialog& d) {
        HWND hwnd = d.Hwnd();
        shownDuringInit = IsWindowVisible(hwnd) != FALSE;
        HWND child = GetWindow(hwnd, GW_CHILD);
        for (const ExpectedControl& e : kControls) {
            SCOPED_TRACE("control " + std::to_string(e.id));
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(GetDlgCtrlID(child), e.id);
            ASSERT_NE(d.GetDlgItem(e.id), nullptr);
            EXPECT_EQ(d.GetDlgItem(e.id)->m_hWnd, child);
            EXPECT_EQ(d.GetDlgItem(e.id), d.GetDlgItem(e.id)) << "one object per control";
            EXPECT_EQ(kx9test::ClassName(child), e.className);
            EXPECT_EQ(DWORD(GetWindowLongA(child, GWL_STYLE)), e.style)
                << std::hex << GetWindowLongA(child, GWL_STYLE);
            const RECT u = Units(hwnd, e.x, e.y, e.cx, e.cy);
            const RECT r = kx9test::ClientRectOf(child);
            EXPECT_EQ(r.left, u.left);
            EXPECT_EQ(r.top, u.top);
            // A picture takes its bitmap's size, whatever the template says.
            EXPECT_EQ(r.right - r.left, e.text ? u.right : e.cx);
            EXPECT_EQ(r.bottom - r.top, e.text ? u.bottom : e.cy);
            wchar_t text[256] = {};
            GetWindowTextW(child, text, 256);
            if (e.text != nullptr) {
                EXPECT_TRUE(std::wstring(text) == e.text);
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template lists";
        EXPECT_EQ(d.GetDlgItem(4242), nullptr);

        char title[64];
        d.GetWindowTextA(title, sizeof title);
        EXPECT_STREQ(title, "Kx9JoystickCalibration");
        const DWORD style = DWORD(GetWindowLongA(hwnd, GWL_STYLE));
        const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SHELLFONT;
        EXPECT_EQ(style & (want | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), want);
        EXPECT_NE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
        const RECT size = Units(hwnd, 0, 0, 244, 306);
        plat::Rect client;
        d.GetClientRect(&client);
        EXPECT_EQ(client.Width(), size.right);
        EXPECT_EQ(client.Height(), size.bottom);

        d.GetDlgItem(IDC_STEP_UP)->ShowWindow(SW_HIDE);
        d.PostMessageA(kProbe);
    };
    dlg.handle = [](ScriptedDialog& d, UINT m, WPARAM) {
        if (m != kProbe) return false;
        EXPECT_TRUE(d.IsWindowVisible());
        for (const ExpectedControl& e : kControls) {
            EXPECT_EQ(d.GetDlgItem(e.id)->IsWindowVisible(), e.id != IDC_STEP_UP) << e.id;
        }
        d.EndDialog(IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_FALSE(shownDuringInit) << "the dialog shows only once initialised";
}

TEST(Win32ModalLoop, EveryQueuedMessageMeetsTheHookBeforeTheKeyboardHandling) {
    struct Case {
        WPARAM key;
        bool swallow;
        INT_PTR result;  // 42: the dialog went on until told to end
    };
    const Case cases[] = {
        {VK_ESCAPE, false, IDCANCEL},
        {VK_RETURN, false, IDOK},
        {VK_ESCAPE, true, 42},
        {VK_RETURN, true, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("key " + std::to_string(c.key) + (c.swallow ? " swallowed" : " passed"));
        ScriptedDialog dlg;
        HWND control = nullptr;
        dlg.init = [&](ScriptedDialog& d) {
            control = static_cast<HWND>(d.GetDlgItem(IDC_STEP_PLUG)->m_hWnd);
            PostMessageA(control, kProbe, 7, 0);  // to a control, not the dialog
            d.PostMessageA(WM_KEYDOWN, c.key, 1);
            d.PostMessageA(kStep);  // posted messages keep their order
        };
        dlg.swallow = [&](const plat::Message& m) {
            if (m.message == kProbe) {
                EXPECT_EQ(m.hwnd, control);
            }
            return c.swallow && m.message == WM_KEYDOWN;
        };
        dlg.handle = [](ScriptedDialog& d, UINT m, WPARAM) {
            if (m == kStep) {
                EXPECT_EQ(d.SetTimer(5, 1), 5u);
            }
            if (m != WM_TIMER) return m == kStep;
            d.KillTimer(5);
            d.EndDialog(42);
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), c.result);
        const int key = dlg.Find(true, WM_KEYDOWN, c.key);
        const int command = dlg.Find(false, WM_COMMAND, c.result);
        ASSERT_GE(key, 0) << "the hook never saw the key";
        EXPECT_GE(dlg.Find(true, kProbe, 7), 0);
        EXPECT_EQ(dlg.Find(false, WM_KEYDOWN, c.key), -1) << "a dialog key is not dispatched";
        if (c.swallow) {
            EXPECT_LT(dlg.Find(true, WM_TIMER, 5), dlg.Find(false, WM_TIMER, 5));
        } else {
            ASSERT_GE(command, 0) << "the key never became its command";
            EXPECT_LT(key, command);
        }
        EXPECT_EQ(dlg.m_hWnd, nullptr);
    }
}

TEST(Win32ModalLoop, WaysTheDialogEnds) {
    struct Case {
        const char* what;
        std::function<void(ScriptedDialog&)> step;
        INT_PTR result;
    };
    const Case cases[] = {
        {"WM_CLOSE with no handler", [](ScriptedDialog& d) { d.SendMessageA(WM_CLOSE); }, IDCANCEL},
        {"window destroyed behind the loop", [](ScriptedDialog& d) { DestroyWindow(d.Hwnd()); },
         -1},
        {"handler ends it, then still uses its window",
         [](ScriptedDialog& d) {
             d.EndDialog(9);
             d.SetWindowTextA("still here");
             char title[16];
             EXPECT_EQ(d.GetWindowTextA(title, 6), 5);
             EXPECT_STREQ(title, "still");
         },
         9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialog dlg;
        dlg.init = [](ScriptedDialog& d) { d.PostMessageA(kStep); };
        dlg.handle = [&](ScriptedDialog& d, UINT m, WPARAM) {
            if (m == kStep) c.step(d);
            return m == kStep;
        };
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
    }
    ScriptedDialog early;
    HWND made = nullptr;
    early.init = [&](ScriptedDialog& d) {
        made = d.Hwnd();
        d.EndDialog(17);
    };
    EXPECT_EQ(early.DoModal(), 17) << "ended during initialisation";
    EXPECT_FALSE(IsWindow(made));
    EXPECT_EQ(early.DoModal(), 17) << "the same object runs again";
    ScriptedDialog missing(4711);
    EXPECT_EQ(missing.DoModal(), -1) << "no such template";
}

class MappedDialog : public ScriptedDialog {
  public:
    int clicks = 0;
    bool windowAfterDefault = false;
    void OnButton() { ++clicks; }
    void OnClose() {
        Default();  // ends the dialog with the cancel result
        windowAfterDefault = IsWindow(Hwnd()) != FALSE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MappedDialog, ScriptedDialog)
ON_WM_CLOSE()
ON_BN_CLICKED(IDC_READ_EEPROM, &MappedDialog::OnButton)
END_MESSAGE_MAP()

class HelpApp : public CWinApp {
  public:
    int helps = 0;
    void OnHelpCommand() { ++helps; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(HelpApp, CWinApp)
ON_COMMAND(ID_HELP, &HelpApp::OnHelpCommand)
END_MESSAGE_MAP()

TEST(Win32ModalLoop, MessageMapThenDefaultThenTheApplication) {
    HelpApp app;
    ASSERT_EQ(AfxGetApp(), &app);
    MappedDialog dlg;
    dlg.init = [](ScriptedDialog& d) {
        d.PostMessageA(WM_COMMAND, MAKEWPARAM(IDC_READ_EEPROM, BN_CLICKED), 0);
        d.PostMessageA(WM_COMMAND, MAKEWPARAM(IDC_READ_EEPROM, BN_SETFOCUS), 0);  // not a click
        d.PostMessageA(WM_COMMAND, ID_HELP, 0);
        HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 0, nullptr, 0, {0, 0}};
        d.SendMessageA(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));  // F1
        d.PostMessageA(WM_CLOSE);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.clicks, 1);
    EXPECT_TRUE(dlg.windowAfterDefault);
    EXPECT_EQ(app.helps, 2);
}

TEST(Win32Windows, VisibilityIsAnsweredOnAnotherThread) {
    ScriptedDialog dlg;
    std::promise<void> hidden, shown;
    std::thread reader;
    int wrong = 0;
    dlg.init = [](ScriptedDialog& d) { d.PostMessageA(kStep, 0); };
    dlg.handle = [&](ScriptedDialog& d, UINT m, WPARAM w) {
        if (m != kStep) return false;
        if (w == 0) {
            d.GetDlgItem(IDC_STEP_UP)->ShowWindow(SW_HIDE);
            reader = std::thread([&d, &wrong, &shown, h = hidden.get_future()]() {
                CWnd* plug = d.GetDlgItem(IDC_STEP_PLUG);
                CWnd* up = d.GetDlgItem(IDC_STEP_UP);
                h.wait();
                wrong += !plug->IsWindowVisible() + up->IsWindowVisible();
                std::future<void> s = shown.get_future();
                d.PostMessageA(kStep, 1);
                s.wait();
                wrong += !up->IsWindowVisible();
                d.PostMessageA(kStep, 2);
            });
            hidden.set_value();
        } else if (w == 1) {
            d.GetDlgItem(IDC_STEP_UP)->ShowWindow(SW_SHOWNORMAL);
            shown.set_value();
        } else {
            d.EndDialog(IDOK);
        }
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    reader.join();
    EXPECT_EQ(wrong, 0);
}

TEST(Win32Windows, WindowlessObjectsRefuseHarmlessly) {
    CWnd none;
    char buffer[8] = "garbage";
    EXPECT_EQ(none.GetDlgItem(IDC_STEP_UP), nullptr);
    EXPECT_FALSE(none.ShowWindow(SW_SHOW) || none.IsWindowVisible() || none.IsIconic());
    EXPECT_EQ(none.GetWindowTextA(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(none.GetWindowTextA(nullptr, 8), 0);
    // Without a window these would become a thread timer and a thread message.
    EXPECT_EQ(none.SetTimer(1, 500), 0u);
    EXPECT_FALSE(none.PostMessageA(kProbe));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, kProbe, kProbe, PM_REMOVE));
    plat::Rect r{1, 2, 3, 4};
    none.GetClientRect(&r);
    EXPECT_EQ(r.Width(), 0);
    CPaintDC dc(&none);
    EXPECT_FALSE(dc.DrawIcon(0, 0, plat::LoadIconA(plat::ProgramInstance(), IDR_MAINFRAME)));
    EXPECT_TRUE(plat::InitCommonControls(8, 0xFF));
    EXPECT_FALSE(plat::InitCommonControls(7, 0xFF)) << "a wrong size is refused";
    EXPECT_EQ(plat::LoadIconA(plat::ProgramInstance(), 4711), nullptr);
}

// Runs `body` in a shown dialog with system windows answered by `answer`.
void InShownDialog(kx9test::SystemWindowAnswer* answer, std::function<void(ScriptedDialog&)> body) {
    kx9test::SystemWindowHook hook(answer);
    ScriptedDialog dlg;
    dlg.init = [&](ScriptedDialog& d) {
        answer->dialog = d.Hwnd();
        d.PostMessageA(kStep);
    };
    dlg.handle = [&](ScriptedDialog& d, UINT m, WPARAM) {
        if (m != kStep) return false;
        body(d);
        d.EndDialog(IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Services, MessageBoxesAreOwnedByTheDialog) {
    for (UINT type : {0u, UINT(MB_ICONHAND), UINT(MB_ICONINFORMATION)}) {
        kx9test::SystemWindowAnswer answer;
        int result = 0;
        InShownDialog(&answer, [&](ScriptedDialog& d) {
            result = d.MessageBoxA("Cannot read EEPROM!", "Some title", type);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(answer.opened, 1);
        EXPECT_EQ(answer.caption, "Some title");
        EXPECT_EQ(answer.text, "Cannot read EEPROM!");
        EXPECT_EQ(answer.icon, type != 0) << "type " << type;
    }
}

TEST(Win32FileDialog, FilterBecomesNulSeparatedPairs) {
    const std::pair<const char*, std::string> cases[] = {
        {"Text files (*.txt)|*.txt||", std::string("Text files (*.txt)\0*.txt\0", 25)},
        {"A|*.a|B|*.b", std::string("A\0*.a\0B\0*.b\0", 12)},
        {"A|*.a|B||", std::string("A\0*.a\0", 6)},  // a name without a pattern
        {"||", ""},
    };
    for (const auto& [in, pairs] : cases) {
        const std::string want = pairs.empty() ? "" : pairs + '\0';
        EXPECT_EQ(plat::win32::FileDialogFilter(in), want) << "filter " << in;
    }
}

// The save dialog fills its controls after it is activated, so it is
// answered from a timer that its own loop dispatches once it is ready.
struct SaveAnswer {
    HWND dialog = nullptr;
    std::string target;  // empty: cancel
    std::string initialName, filters;
    int ticks = 0;
} g_save;

void CALLBACK AnswerSaveDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND types = GetDlgItem(g_save.dialog, cmb1);
    const LRESULT count = SendMessageA(types, CB_GETCOUNT, 0, 0);
    if (count <= 0 && ++g_save.ticks < 1000) return;
    KillTimer(nullptr, id);
    char buffer[MAX_PATH] = {};
    GetDlgItemTextA(g_save.dialog, cmb13, buffer, sizeof buffer);
    g_save.initialName = buffer;
    for (LRESULT i = 0; i < count; ++i) {
        SendMessageA(types, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(buffer));
        g_save.filters += std::string(buffer) + ";";
    }
    const bool ok = !g_save.target.empty();
    if (ok) SetDlgItemTextA(g_save.dialog, cmb13, g_save.target.c_str());
    PostMessageA(g_save.dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
}

TEST(Win32FileDialog, SaveDialogConfirmedOrCancelled) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string target = std::string(temp) + "kx9_chosen.txt";
    // A name typed without an extension gets the one the filter names.
    const std::string typed = std::string(temp) + "kx9_typed";
    for (const std::string& choice : {std::string(), target, typed}) {
        SCOPED_TRACE(choice.empty() ? "cancelled" : choice);
        const std::string expected = choice == typed ? typed + ".txt" : choice;
        g_save = SaveAnswer{};
        g_save.target = choice;
        kx9test::SystemWindowAnswer answer;
        answer.act = [](HWND fd) {
            g_save.dialog = fd;
            SetTimer(nullptr, 0, 10, &AnswerSaveDialog);
        };
        INT_PTR result = 0;
        std::string path;
        InShownDialog(&answer, [&](ScriptedDialog& d) {
            CWinApp app;  // no parent given: owned by the main window
            app.m_pMainWnd = &d;
            CFileDialog fd(FALSE, "*.txt", "Kx9_Joystick_FW.txt",
                           OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, "Text files (*.txt)|*.txt||");
            result = fd.DoModal();
            path = fd.GetPathName();
        });
        EXPECT_EQ(answer.opened, 1);
        EXPECT_EQ(g_save.initialName, "Kx9_Joystick_FW.txt");
        EXPECT_EQ(g_save.filters, "Text files (*.txt);");
        EXPECT_EQ(result, choice.empty() ? IDCANCEL : IDOK);
        EXPECT_EQ(_stricmp(path.c_str(), expected.c_str()), 0) << path << " vs " << expected;
    }
}

}  // namespace
