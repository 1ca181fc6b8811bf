// The Win32 dialog backend on the real template resource, under a real
// window system: the controls as the template creates them, the modal loop
// and its pre-translation hook, visibility from another thread, and the
// services around the dialog. Every running dialog is driven by messages
// posted from its own initialisation or handlers, never by waiting.
#include <windows.h>

#include <dlgs.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "platform/dialog.h"
#include "platform/win32/dialog_state.h"
#include "tests/win32_dialog/dialog_harness.h"
#include "ui/resource.h"

using kx9test::kProbe;
using kx9test::kStep;
using kx9test::ScriptedDialog;
using kx9test::Seen;
using kx9test::SystemWindowAnswer;
using kx9test::SystemWindowHook;

namespace {

constexpr DWORD kStaticText = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kPushButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kPicture = WS_CHILD | WS_VISIBLE | SS_BITMAP;

struct ExpectedControl {
    int id;
    const char* className;
    DWORD style;
    const wchar_t* text;  // null for a picture
    int x, y, cx, cy;     // dialog units
    int imageWidth, imageHeight;
};

// The main dialog's controls in template order.
const ExpectedControl kControls[] = {
    {IDC_STEP_UP, "Static", kStaticText,
     L"2.    Move \u201CJoystick\u201D SLOWLY to reach up\n        Then press \u201CSPACE\u201D",
     17, 37, 209, 18, 0, 0},
    {IDC_STEP_RIGHT, "Static", kStaticText,
     L"3.    Move \u201CJoystick\u201D SLOWLY to reach right\n        Then press \u201CSPACE\u201D",
     17, 57, 170, 17, 0, 0},
    {IDC_STEP_DOWN, "Static", kStaticText,
     L"4.    Move \u201CJoystick\u201D SLOWLY to reach down\n        Then press \u201CSPACE\u201D",
     17, 78, 212, 16, 0, 0},
    {IDC_READ_EEPROM, "Button", kPushButton, L"READ EEPROM", 7, 283, 66, 16, 0, 0},
    {IDC_STEP_PLUG, "Static", kStaticText,
     L"1.    Plug Joystick to PC\n        Then press \u201CSPACE\u201D", 17, 14, 211, 16, 0, 0},
    {IDC_STEP_LEFT, "Static", kStaticText,
     L"5.    Move \u201CJoystick\u201D SLOWLY to reach left\n        Then press \u201CSPACE\u201D",
     17, 99, 212, 16, 0, 0},
    {IDC_STEP_UNPLUG, "Static", kStaticText, L"6.    Unplug USB of Joystick.", 17, 121, 213, 16, 0,
     0},
    {IDC_PIC_1, "Static", kPicture, nullptr, 85, 164, 117, 135, 175, 204},
    {IDC_PIC_2, "Static", kPicture, nullptr, 94, 164, 117, 135, 175, 218},
    {IDC_PIC_3, "Static", kPicture, nullptr, 101, 164, 117, 135, 181, 204},
    {IDC_PIC_4, "Static", kPicture, nullptr, 110, 164, 117, 135, 175, 204},
    {IDC_PIC_5, "Static", kPicture, nullptr, 120, 164, 117, 135, 196, 204},
};

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) {
        if (c == L'\n') {
            s += "\\n";
        } else if (c < 0x80) {
            s.push_back(static_cast<char>(c));
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
            s += hex;
        }
    }
    return s;
}

// Ends a running dialog from inside the loop once the current message has
// been handled.
void Finish(ScriptedDialog& d, int result) {
    d.EndDialog(result);
}

// ---------------------------------------------------------------------------
// The template as created

TEST(Win32Template, ControlsAreCreatedAsTheResourceDescribesThem) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog& d) {
        HWND hwnd = d.Hwnd();
        // Template order is z-order: walking the children visits them in it.
        HWND child = GetWindow(hwnd, GW_CHILD);
        for (const ExpectedControl& e : kControls) {
            SCOPED_TRACE("control " + std::to_string(e.id));
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(GetDlgCtrlID(child), e.id);
            CWnd* wrapper = d.GetDlgItem(e.id);
            ASSERT_NE(wrapper, nullptr);
            EXPECT_EQ(wrapper->m_hWnd, GetDlgItem(hwnd, e.id));
            EXPECT_EQ(d.GetDlgItem(e.id), wrapper) << "one wrapper per control";
            EXPECT_STREQ(kx9test::ClassName(child).c_str(), e.className);
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), e.style)
                << std::hex << "actual 0x" << GetWindowLongA(child, GWL_STYLE) << " expected 0x"
                << e.style;
            // The dialog manager converts position and size separately.
            const RECT place = kx9test::DialogUnits(hwnd, e.x, e.y, 0, 0);
            const RECT size = kx9test::DialogUnits(hwnd, 0, 0, e.cx, e.cy);
            const RECT actual = kx9test::ClientRectOf(child);
            EXPECT_EQ(actual.left, place.left);
            EXPECT_EQ(actual.top, place.top);
            if (e.text != nullptr) {
                EXPECT_EQ(Narrow(kx9test::WindowTextW(child)), Narrow(e.text));
                EXPECT_EQ(actual.right - actual.left, size.right);
                EXPECT_EQ(actual.bottom - actual.top, size.bottom);
            } else {
                // A picture takes its bitmap's size, whatever the template says.
                EXPECT_NE(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
                EXPECT_EQ(actual.right - actual.left, e.imageWidth);
                EXPECT_EQ(actual.bottom - actual.top, e.imageHeight);
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template lists";
        EXPECT_EQ(d.GetDlgItem(4242), nullptr);
        Finish(d, IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Template, DialogFrameTitleFontAndSize) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog& d) {
        HWND hwnd = d.Hwnd();
        EXPECT_EQ(kx9test::WindowTextW(hwnd), L"Kx9JoystickCalibration");
        const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
        const DWORD want =
            WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
        EXPECT_EQ(style & want, want) << std::hex << style;
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0u)
            << std::hex << style;
        EXPECT_NE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
        EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
        // The template size is the client area.
        const RECT units = kx9test::DialogUnits(hwnd, 0, 0, 244, 306);
        RECT client{};
        GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right, units.right);
        EXPECT_EQ(client.bottom, units.bottom);
        plat::Rect viaFramework;
        d.GetClientRect(&viaFramework);
        EXPECT_EQ(viaFramework.Width(), units.right);
        EXPECT_EQ(viaFramework.Height(), units.bottom);
        // The font is the shell dialog font at 8 points.
        auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTA lf{};
        GetObjectA(font, sizeof lf, &lf);
        EXPECT_EQ(lf.lfItalic, 0);
        EXPECT_LE(lf.lfWeight, FW_NORMAL);
        Finish(d, IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Template, ControlsAreVisibleOnceTheDialogIsShown) {
    ScriptedDialog dlg;
    bool hiddenDuringInit = false;
    dlg.init = [&](ScriptedDialog& d) {
        hiddenDuringInit = !IsWindowVisible(d.Hwnd());
        d.GetDlgItem(IDC_STEP_UP)->ShowWindow(SW_HIDE);
        d.PostMessageA(kProbe);
    };
    dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != kProbe) return false;
        EXPECT_TRUE(d.IsWindowVisible());
        for (const ExpectedControl& e : kControls) {
            EXPECT_EQ(d.GetDlgItem(e.id)->IsWindowVisible(), e.id != IDC_STEP_UP)
                << "control " << e.id;
        }
        Finish(d, IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(hiddenDuringInit) << "the dialog is shown only after its initialisation";
}

// ---------------------------------------------------------------------------
// The modal loop

TEST(Win32ModalLoop, KeyReachesTheHookBeforeTheDialogKeyboardHandling) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog& d) { d.PostMessageA(WM_KEYDOWN, VK_ESCAPE, 1); };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    const int hook = dlg.Find(Seen::kHook, WM_KEYDOWN, VK_ESCAPE);
    const int command = dlg.Find(Seen::kProc, WM_COMMAND, IDCANCEL);
    ASSERT_GE(hook, 0) << "the hook never saw the key";
    ASSERT_GE(command, 0) << "the keyboard handling never turned Esc into IDCANCEL";
    EXPECT_LT(hook, command);
    EXPECT_EQ(dlg.Find(Seen::kProc, WM_KEYDOWN, VK_ESCAPE), -1)
        << "a dialog key is handled, not dispatched";
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(Win32ModalLoop, EnterAndEscEndTheDialogOnlyWhenTheHookPassesThem) {
    struct Case {
        WPARAM key;
        bool swallow;
        INT_PTR result;
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
        dlg.init = [&](ScriptedDialog& d) {
            d.PostMessageA(WM_KEYDOWN, c.key, 1);
            // Posted messages arrive in order: by this one the key is done.
            d.PostMessageA(kStep);
        };
        dlg.hook = [&](ScriptedDialog&, const plat::Message& m) {
            return c.swallow && m.message == WM_KEYDOWN;
        };
        dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
            if (m != kStep) return false;
            Finish(d, 42);
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_GE(dlg.Find(Seen::kHook, WM_KEYDOWN, c.key), 0);
    }
}

TEST(Win32ModalLoop, EveryQueuedMessagePassesTheHookFirst) {
    ScriptedDialog dlg;
    HWND control = nullptr;
    dlg.init = [&](ScriptedDialog& d) {
        control = static_cast<HWND>(d.GetDlgItem(IDC_STEP_PLUG)->m_hWnd);
        PostMessageA(control, kProbe, 7, 0);
        d.PostMessageA(kProbe, 8);
        ASSERT_EQ(d.SetTimer(5, 1), 5u);
    };
    std::vector<HWND> hookWindows;
    dlg.hook = [&](ScriptedDialog&, const plat::Message& m) {
        if (m.message == kProbe) hookWindows.push_back(static_cast<HWND>(m.hwnd));
        return false;
    };
    dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM w, LPARAM, LRESULT*) {
        if (m != WM_TIMER || w != 5) return false;
        EXPECT_TRUE(d.KillTimer(5));
        Finish(d, IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_EQ(hookWindows.size(), 2u);
    EXPECT_EQ(hookWindows[0], control);
    EXPECT_GE(dlg.Find(Seen::kHook, kProbe, 8), 0);
    const int timerHook = dlg.Find(Seen::kHook, WM_TIMER, 5);
    const int timerProc = dlg.Find(Seen::kProc, WM_TIMER, 5);
    ASSERT_GE(timerHook, 0);
    ASSERT_GE(timerProc, 0);
    EXPECT_LT(timerHook, timerProc);
    EXPECT_LT(dlg.Find(Seen::kHook, kProbe, 8), dlg.Find(Seen::kProc, kProbe, 8));
}

TEST(Win32ModalLoop, WaysTheDialogEnds) {
    {
        SCOPED_TRACE("WM_CLOSE with no handler ends it with the cancel result");
        ScriptedDialog dlg;
        dlg.init = [](ScriptedDialog& d) { d.PostMessageA(WM_CLOSE); };
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    }
    {
        SCOPED_TRACE("EndDialog during initialisation: no loop, window gone");
        ScriptedDialog dlg;
        HWND made = nullptr;
        dlg.init = [&](ScriptedDialog& d) {
            made = d.Hwnd();
            d.EndDialog(17);
        };
        EXPECT_EQ(dlg.DoModal(), 17);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
        EXPECT_FALSE(IsWindow(made));
    }
    {
        SCOPED_TRACE("a handler that ends the dialog still has its window until it returns");
        ScriptedDialog dlg;
        dlg.init = [](ScriptedDialog& d) { d.PostMessageA(kStep); };
        dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
            if (m != kStep) return false;
            d.EndDialog(9);
            EXPECT_TRUE(IsWindow(d.Hwnd()));
            d.SetWindowTextA("still here");
            char title[32];
            d.GetWindowTextA(title, sizeof title);
            EXPECT_STREQ(title, "still here");
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), 9);
    }
    {
        SCOPED_TRACE("a window destroyed behind the loop's back ends it");
        ScriptedDialog dlg;
        dlg.init = [](ScriptedDialog& d) { d.PostMessageA(kStep); };
        dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
            if (m != kStep) return false;
            DestroyWindow(d.Hwnd());
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), -1);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
    }
    {
        SCOPED_TRACE("a template that does not exist");
        ScriptedDialog dlg(4711);
        EXPECT_EQ(dlg.DoModal(), -1);
        EXPECT_EQ(dlg.m_hWnd, nullptr);
    }
    {
        SCOPED_TRACE("the same object runs twice");
        ScriptedDialog dlg;
        dlg.init = [](ScriptedDialog& d) { d.EndDialog(IDOK); };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
}

TEST(Win32ModalLoop, QuitEndsTheDialogAndReachesTheOuterLoop) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog&) { PostQuitMessage(3); };
    EXPECT_EQ(dlg.DoModal(), -1);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

// A dialog with a message map of its own, as the application's is written.
class MappedDialog : public ScriptedDialog {
  public:
    int clicks = 0;
    int closes = 0;
    bool windowAfterDefault = false;

    void OnButton() { ++clicks; }
    void OnClose() {
        ++closes;
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
        d.PostMessageA(WM_COMMAND, MAKEWPARAM(IDC_READ_EEPROM, BN_CLICKED),
                       reinterpret_cast<LPARAM>(d.GetDlgItem(IDC_READ_EEPROM)->m_hWnd));
        // Another notification from the same control is not a click.
        d.PostMessageA(WM_COMMAND, MAKEWPARAM(IDC_READ_EEPROM, BN_SETFOCUS), 0);
        d.PostMessageA(WM_COMMAND, ID_HELP, 0);
        d.PostMessageA(WM_CLOSE);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.clicks, 1);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_TRUE(dlg.windowAfterDefault);
    EXPECT_EQ(app.helps, 1);
}

// ---------------------------------------------------------------------------
// Windows

TEST(Win32Windows, VisibilityIsAnsweredOnAnotherThread) {
    ScriptedDialog dlg;
    std::atomic<int> wrong{0};
    std::thread reader;
    std::promise<void> hidden;
    std::promise<void> shownAgain;
    dlg.init = [&](ScriptedDialog& d) { d.PostMessageA(kStep, 0); };
    dlg.proc = [&](ScriptedDialog& d, UINT m, WPARAM w, LPARAM, LRESULT*) {
        if (m != kStep) return false;
        CWnd* up = d.GetDlgItem(IDC_STEP_UP);
        if (w == 0) {
            // The UI thread hides a step text, then lets the reader look.
            up->ShowWindow(SW_HIDE);
            reader = std::thread([&d, &wrong, &shownAgain, h = hidden.get_future()]() mutable {
                CWnd* plug = d.GetDlgItem(IDC_STEP_PLUG);
                CWnd* upText = d.GetDlgItem(IDC_STEP_UP);
                if (plug == nullptr || upText == nullptr) {
                    wrong += 100;
                    d.PostMessageA(kStep, 2);
                    return;
                }
                h.wait();
                if (!plug->IsWindowVisible()) ++wrong;
                if (upText->IsWindowVisible()) ++wrong;
                std::future<void> s = shownAgain.get_future();
                d.PostMessageA(kStep, 1);
                s.wait();
                if (!upText->IsWindowVisible()) ++wrong;
                d.PostMessageA(kStep, 2);
            });
            hidden.set_value();
        } else if (w == 1) {
            up->ShowWindow(SW_SHOWNORMAL);
            shownAgain.set_value();
        } else {
            Finish(d, IDOK);
        }
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    if (reader.joinable()) reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Win32Windows, OperationsOnTheDialogAndItsControls) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog& d) {
        // Titles, and a read into a buffer too small for them.
        d.SetWindowTextA("Calibration title");
        char buffer[260];
        EXPECT_EQ(d.GetWindowTextA(buffer, sizeof buffer), 17);
        EXPECT_STREQ(buffer, "Calibration title");
        char small[6];
        EXPECT_EQ(d.GetWindowTextA(small, sizeof small), 5);
        EXPECT_STREQ(small, "Calib");
        EXPECT_EQ(d.GetWindowTextA(small, 0), 0);

        // Show commands report the previous visibility.
        CWnd* button = d.GetDlgItem(IDC_READ_EEPROM);
        EXPECT_TRUE(button->ShowWindow(SW_HIDE));
        EXPECT_FALSE(button->ShowWindow(SW_HIDE));
        EXPECT_FALSE(button->IsWindowVisible());
        EXPECT_FALSE(button->ShowWindow(SW_SHOW));
        EXPECT_NE(GetWindowLongA(static_cast<HWND>(button->m_hWnd), GWL_STYLE) & WS_VISIBLE, 0);

        // Moves are in client pixels and keep the size with SWP_NOSIZE.
        CWnd* pic = d.GetDlgItem(IDC_PIC_2);
        const RECT before = kx9test::ClientRectOf(static_cast<HWND>(pic->m_hWnd));
        EXPECT_TRUE(pic->SetWindowPos(nullptr, 95, 216, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
        const RECT after = kx9test::ClientRectOf(static_cast<HWND>(pic->m_hWnd));
        EXPECT_EQ(after.left, 95);
        EXPECT_EQ(after.top, 216);
        EXPECT_EQ(after.right - after.left, before.right - before.left);
        EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

        // Sent messages come back with their result.
        EXPECT_EQ(d.SendMessageA(WM_GETTEXTLENGTH), 17);
        d.PostMessageA(kStep);
    };
    dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != kStep) return false;
        EXPECT_FALSE(d.IsIconic());
        ShowWindow(d.Hwnd(), SW_MINIMIZE);
        EXPECT_TRUE(d.IsIconic());
        ShowWindow(d.Hwnd(), SW_RESTORE);
        EXPECT_FALSE(d.IsIconic());
        Finish(d, IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Windows, AWindowlessObjectRefusesEverythingHarmlessly) {
    CWnd none;
    char buffer[8] = "garbage";
    EXPECT_EQ(none.GetDlgItem(IDC_STEP_UP), nullptr);
    EXPECT_FALSE(none.ShowWindow(SW_SHOW));
    EXPECT_FALSE(none.IsWindowVisible());
    EXPECT_FALSE(none.SetWindowPos(nullptr, 1, 2, 0, 0, SWP_NOSIZE));
    none.SetWindowTextA("x");
    EXPECT_EQ(none.GetWindowTextA(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(none.GetWindowTextA(nullptr, 8), 0);
    // Without a window these would otherwise become thread timers and thread
    // messages.
    EXPECT_EQ(none.SetTimer(1, 500), 0u);
    EXPECT_FALSE(none.KillTimer(1));
    EXPECT_FALSE(none.PostMessageA(kProbe));
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, kProbe, kProbe, PM_REMOVE));
    EXPECT_EQ(none.SendMessageA(WM_GETTEXTLENGTH), 0);
    EXPECT_FALSE(none.IsIconic());
    plat::Rect r{1, 2, 3, 4};
    none.GetClientRect(&r);
    EXPECT_EQ(r.Width(), 0);
    none.GetClientRect(nullptr);
    EXPECT_EQ(none.Default(), 0);
    plat::Message m{};
    CDialog notRunning(IDD_MAIN);
    EXPECT_FALSE(notRunning.PreTranslateMessage(&m));
    notRunning.EndDialog(IDOK);
    CPaintDC dc(&none);
    EXPECT_EQ(dc.GetSafeHdc(), 0u);
    EXPECT_FALSE(dc.DrawIcon(0, 0, nullptr));
}

// ---------------------------------------------------------------------------
// Services

TEST(Win32Services, ProgramResourcesMetricsAndCommonControls) {
    EXPECT_EQ(plat::ProgramInstance(), GetModuleHandleA(nullptr));
    EXPECT_NE(plat::LoadIconA(plat::ProgramInstance(), IDR_MAINFRAME), nullptr);
    EXPECT_EQ(plat::LoadIconA(plat::ProgramInstance(), 4711), nullptr);
    EXPECT_EQ(plat::GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXICON));
    EXPECT_GT(plat::GetSystemMetrics(SM_CYICON), 0);
    EXPECT_TRUE(plat::InitCommonControls(8, 0xFF));
    EXPECT_FALSE(plat::InitCommonControls(7, 0xFF)) << "a wrong size is refused, not trusted";
}

TEST(Win32Services, ApplicationObject) {
    ASSERT_EQ(AfxGetApp(), nullptr);
    {
        CWinApp app;
        CWinApp second("second");
        EXPECT_EQ(AfxGetApp(), &app) << "the first object constructed is the application";
        EXPECT_EQ(app.m_hInstance, GetModuleHandleA(nullptr));
        EXPECT_TRUE(app.InitInstance());
        app.SetRegistryKey("Local AppWizard-Generated Applications");
        EXPECT_EQ(app.m_registryKey, "Local AppWizard-Generated Applications");
        app.SetRegistryKey(nullptr);
        EXPECT_EQ(app.m_registryKey, "");
        app.OnHelp();
        AfxEnableControlContainer();
        HKEY key = nullptr;
        EXPECT_NE(
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Local AppWizard-Generated Applications", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS)
            << "naming the key writes nothing to the registry";
        if (key != nullptr) RegCloseKey(key);
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
}

TEST(Win32Services, PaintingDrawsTheProgramIcon) {
    ScriptedDialog dlg;
    dlg.init = [](ScriptedDialog& d) { d.PostMessageA(kStep); };
    dlg.proc = [](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m != kStep) return false;
        {
            CPaintDC dc(&d);
            EXPECT_NE(dc.GetSafeHdc(), 0u);
            EXPECT_TRUE(dc.DrawIcon(0, 0, plat::LoadIconA(plat::ProgramInstance(), 128)));
            EXPECT_FALSE(dc.DrawIcon(0, 0, nullptr));
            // The background erase of a minimised window takes the paint DC.
            d.SendMessageA(WM_ICONERASEBKGND, dc.GetSafeHdc(), 0);
        }
        Finish(d, IDOK);
        return true;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(Win32Services, MessageBoxesAreOwnedByTheDialogAndModal) {
    struct Case {
        UINT type;
        bool icon;
    };
    const Case cases[] = {{0, false}, {MB_ICONHAND, true}, {MB_ICONINFORMATION, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        SystemWindowAnswer answer;
        answer.act = [](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); };
        SystemWindowHook hook(&answer);
        ScriptedDialog dlg;
        int result = 0;
        dlg.init = [&](ScriptedDialog& d) {
            answer.dialog = d.Hwnd();
            d.PostMessageA(kStep);
        };
        dlg.proc = [&](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
            if (m != kStep) return false;
            result = d.MessageBoxA("Cannot read EEPROM!", "Some title", c.type);
            Finish(d, IDOK);
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(answer.opened, 1);
        EXPECT_EQ(answer.caption, "Some title");
        EXPECT_EQ(answer.text, "Cannot read EEPROM!");
        EXPECT_EQ(answer.icon, c.icon);
        EXPECT_TRUE(answer.ownerVisible);
    }
}

TEST(Win32Services, MessageBoxDuringInitialisationPrecedesTheDialogOnScreen) {
    SystemWindowAnswer answer;
    answer.act = [](HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); };
    SystemWindowHook hook(&answer);
    ScriptedDialog dlg;
    dlg.init = [&](ScriptedDialog& d) {
        answer.dialog = d.Hwnd();
        d.MessageBoxA("Error loading kx9JoystickCalibration.txt file.",
                      "Vormlark Joystick Calibration (Version 1.10)", 0);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(answer.opened, 1);
    EXPECT_FALSE(answer.ownerVisible);
    EXPECT_EQ(answer.caption, "Vormlark Joystick Calibration (Version 1.10)");
}

// ---------------------------------------------------------------------------
// The save-file dialog

TEST(Win32FileDialog, FilterBecomesNulSeparatedPairs) {
    using plat::win32::FileDialogFilter;
    struct Case {
        const char* in;
        std::string out;
    };
    // The expected texts spelled with their NULs; the literal's own
    // terminator is not part of them.
#define KX9_NULS(literal) std::string(literal, sizeof(literal) - 1)
    const Case cases[] = {
        {"Text files (*.txt)|*.txt||", KX9_NULS("Text files (*.txt)\0*.txt\0\0")},
        {"A|*.a|B|*.b||", KX9_NULS("A\0*.a\0B\0*.b\0\0")},
        {"A|*.a", KX9_NULS("A\0*.a\0\0")},
        {"A|*.a|B||", KX9_NULS("A\0*.a\0\0")},
        {"A", std::string()},
        {"||", std::string()},
        {"", std::string()},
    };
#undef KX9_NULS
    for (const Case& c : cases) {
        const std::string got = FileDialogFilter(c.in);
        EXPECT_EQ(got, c.out) << "filter \"" << c.in << "\"";
    }
}

struct FileDialogAnswer {
    HWND dialog = nullptr;
    bool confirm = false;
    std::string target;
    std::string initialName;
    std::string filters;
    int ticks = 0;
};

FileDialogAnswer g_fileDialogAnswer;

void CALLBACK AnswerFileDialog(HWND, UINT, UINT_PTR id, DWORD) {
    FileDialogAnswer& a = g_fileDialogAnswer;
    HWND types = GetDlgItem(a.dialog, cmb1);
    const LRESULT count = SendMessageA(types, CB_GETCOUNT, 0, 0);
    // Generous: the dialog is normally ready at the first tick.
    if (count <= 0 && ++a.ticks < 1000) return;
    KillTimer(nullptr, id);
    char buffer[MAX_PATH] = {};
    GetDlgItemTextA(a.dialog, cmb13, buffer, sizeof buffer);
    a.initialName = buffer;
    for (LRESULT i = 0; i < count; ++i) {
        buffer[0] = '\0';
        SendMessageA(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        a.filters += std::string(buffer) + ";";
    }
    if (a.confirm) SetDlgItemTextA(a.dialog, cmb13, a.target.c_str());
    const int button = a.confirm ? IDOK : IDCANCEL;
    PostMessageA(a.dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(a.dialog, button)));
}

TEST(Win32FileDialog, SaveDialogConfirmedOrCancelled) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "kx9_file_dialog_test";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string target = folder + "\\chosen.txt";

    struct Case {
        bool confirm;
        INT_PTR result;
    };
    for (const Case c : {Case{false, IDCANCEL}, Case{true, IDOK}}) {
        SCOPED_TRACE(c.confirm ? "confirmed" : "cancelled");
        SystemWindowAnswer answer;
        // The file dialog fills its controls after it is activated: it is
        // answered from a timer that its own loop dispatches, once it is ready.
        g_fileDialogAnswer = FileDialogAnswer{};
        g_fileDialogAnswer.confirm = c.confirm;
        g_fileDialogAnswer.target = target;
        answer.act = [](HWND fd) {
            g_fileDialogAnswer.dialog = fd;
            SetTimer(nullptr, 0, 10, &AnswerFileDialog);
        };
        SystemWindowHook hook(&answer);
        ScriptedDialog dlg;
        INT_PTR fileResult = 0;
        std::string path;
        dlg.init = [&](ScriptedDialog& d) {
            answer.dialog = d.Hwnd();
            d.PostMessageA(kStep);
        };
        dlg.proc = [&](ScriptedDialog& d, UINT m, WPARAM, LPARAM, LRESULT*) {
            if (m != kStep) return false;
            // Owned by the main window when no parent is given.
            CWinApp app;
            app.m_pMainWnd = &d;
            CFileDialog fd(FALSE, "*.txt", "Kx9_Joystick_FW.txt",
                           OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, "Text files (*.txt)|*.txt||");
            fileResult = fd.DoModal();
            path = fd.GetPathName();
            Finish(d, IDOK);
            return true;
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(answer.opened, 1);
        EXPECT_EQ(g_fileDialogAnswer.initialName, "Kx9_Joystick_FW.txt");
        EXPECT_EQ(g_fileDialogAnswer.filters, "Text files (*.txt);");
        EXPECT_EQ(fileResult, c.result);
        if (c.confirm) {
            EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(), -1,
                                     target.c_str(), -1),
                      CSTR_EQUAL)
                << "path " << path << " expected " << target;
        } else {
            EXPECT_EQ(path, "");
        }
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
