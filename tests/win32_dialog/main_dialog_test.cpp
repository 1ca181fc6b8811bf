// The program's own dialog on the Win32 backend, from the real template
// resource: the controls as created, what initialisation leaves on screen,
// the modal loop's pre-translation hook, visibility read on another thread
// and the save dialog; and the backend's guards without a window. No stick is
// attached, so keys reach the dialog keyboard handling. Few windows are made:
// Wine is slow to tear them down.
#include <windows.h>

#include <dlgs.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialog.h"
#include "platform/win32/dialog_state.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

namespace fs = std::filesystem;

namespace {

constexpr UINT kProbe = WM_APP + 1;  // the dialog is on screen
constexpr UINT kEnd = WM_APP + 2;    // ends the dialog with 42

constexpr DWORD kText = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kPicture = WS_CHILD | WS_VISIBLE | SS_BITMAP;
#define KX9_THEN L"\n        Then press \u201CSPACE\u201D"
#define KX9_STEP(n, where) n L".    Move \u201CJoystick\u201D SLOWLY to reach " where KX9_THEN

struct ExpectedControl {
    int id;
    DWORD style;
    const wchar_t* text;  // null for a picture
    int x, y, cx, cy;     // dialog units; a picture's cx, cy in pixels, its bitmap's
    int movedX, movedY;   // a picture's place in client pixels once initialised
};

// In template order, which is also z-order.
const ExpectedControl kControls[] = {
    {IDC_STEP_UP, kText, KX9_STEP(L"2", L"up"), 17, 37, 209, 18, 0, 0},
    {IDC_STEP_RIGHT, kText, KX9_STEP(L"3", L"right"), 17, 57, 170, 17, 0, 0},
    {IDC_STEP_DOWN, kText, KX9_STEP(L"4", L"down"), 17, 78, 212, 16, 0, 0},
    {IDC_READ_EEPROM, kButton, L"READ EEPROM", 7, 283, 66, 16, 0, 0},
    {IDC_STEP_PLUG, kText, L"1.    Plug Joystick to PC" KX9_THEN, 17, 14, 211, 16, 0, 0},
    {IDC_STEP_LEFT, kText, KX9_STEP(L"5", L"left"), 17, 99, 212, 16, 0, 0},
    {IDC_STEP_UNPLUG, kText, L"6.    Unplug USB of Joystick.", 17, 121, 213, 16, 0, 0},
    {IDC_PIC_1, kPicture, nullptr, 85, 164, 175, 204, 95, 230},
    {IDC_PIC_2, kPicture, nullptr, 94, 164, 175, 218, 95, 216},
    {IDC_PIC_3, kPicture, nullptr, 101, 164, 181, 204, 95, 230},
    {IDC_PIC_4, kPicture, nullptr, 110, 164, 175, 204, 95, 230},
    {IDC_PIC_5, kPicture, nullptr, 120, 164, 196, 204, 74, 230},
};

// A control's left, top, width and height in its parent's client pixels.
std::vector<LONG> ClientPlace(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The real dialog, looked at as created and once initialised. Once on screen
// it runs `onScreen`, then posts Esc to a control (keys go to the focus, not
// the dialog) and kEnd; it notes when Esc met its pre-translation hook and
// when Cancel reached its window.
class ProbedDialog : public CKx9JoystickCalibrationDlg {
  public:
    bool swallowKeys = false;
    bool shownDuringInit = true;
    std::function<void(ProbedDialog&)> onScreen;
    // Counted in messages seen by the hook or the window; -1: never.
    int seen = 0, escAt = -1, cancelAt = -1;

    BOOL OnInitDialog() override {
        HWND hwnd = static_cast<HWND>(m_hWnd);
        shownDuringInit = ::IsWindowVisible(hwnd) != FALSE;
        HWND child = GetWindow(hwnd, GW_CHILD);
        for (const ExpectedControl& e : kControls) {
            SCOPED_TRACE("control " + std::to_string(e.id) + " as created");
            EXPECT_EQ(GetDlgCtrlID(child), e.id);
            char className[16] = {};
            GetClassNameA(child, className, sizeof className);
            EXPECT_STREQ(className, e.style == kButton ? "Button" : "Static");
            EXPECT_EQ(DWORD(GetWindowLongA(child, GWL_STYLE)), e.style);
            wchar_t text[128] = {};
            GetWindowTextW(child, text, 128);
            EXPECT_EQ(std::wstring(text), e.text ? e.text : text);
            RECT u{e.x, e.y, e.cx, e.cy};  // position and size are converted separately
            MapDialogRect(hwnd, &u);
            const LONG w = e.text ? u.right : e.cx, h = e.text ? u.bottom : e.cy;
            EXPECT_EQ(ClientPlace(child), (std::vector<LONG>{u.left, u.top, w, h}));
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template lists";

        const BOOL r = CKx9JoystickCalibrationDlg::OnInitDialog();
        for (const ExpectedControl& e : kControls) {
            if (e.text != nullptr) continue;
            EXPECT_EQ(ClientPlace(::GetDlgItem(hwnd, e.id)),
                      (std::vector<LONG>{e.movedX, e.movedY, e.cx, e.cy}))
                << "picture " << e.id << " once initialised";
        }
        PostMessageA(kProbe);
        return r;
    }
    BOOL PreTranslateMessage(plat::Message* msg) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) escAt = seen;
        ++seen;
        if (swallowKeys && msg->message == WM_KEYDOWN) return TRUE;
        return CKx9JoystickCalibrationDlg::PreTranslateMessage(msg);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND && wParam == IDCANCEL) cancelAt = seen;
        ++seen;
        if (message == kEnd) EndDialog(42);
        if (message == kProbe) {
            if (onScreen) onScreen(*this);
            ::PostMessageA(::GetDlgItem(static_cast<HWND>(m_hWnd), IDC_STEP_PLUG), WM_KEYDOWN,
                           VK_ESCAPE, 1);
            PostMessageA(kEnd);
        }
        if (message == kProbe || message == kEnd) return 0;
        return CKx9JoystickCalibrationDlg::WindowProc(message, wParam, lParam);
    }
};

// With the configuration file present no box stops the start.
class Win32MainDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream("kx9JoystickCalibration.txt", std::ios::binary) << "Edge_Size = 0x0123;\n";
    }
    void TearDown() override { fs::remove("kx9JoystickCalibration.txt"); }
};

// The save dialog fills its controls after it is activated, so it is
// answered from a thread timer that its own loop dispatches once it is ready.
struct SaveAnswer {
    HWND owner = nullptr;
    std::string typed;  // empty: cancel
    bool owned = false;
    std::string initialName, filters;
    int ticks = 0;
} g_save;

void CALLBACK AnswerSaveDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND fd = GetActiveWindow();
    const LRESULT count = SendDlgItemMessageA(fd, cmb1, CB_GETCOUNT, 0, 0);
    if (count <= 0 && ++g_save.ticks < 6000) return;
    KillTimer(nullptr, id);
    g_save.owned = GetWindow(fd, GW_OWNER) == g_save.owner;
    char buffer[MAX_PATH] = {};
    GetDlgItemTextA(fd, cmb13, buffer, sizeof buffer);
    g_save.initialName = buffer;
    for (LRESULT i = 0; i < count; ++i) {
        SendDlgItemMessageA(fd, cmb1, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(buffer));
        g_save.filters += std::string(buffer) + ";";
    }
    if (!g_save.typed.empty()) SetDlgItemTextA(fd, cmb13, g_save.typed.c_str());
    PostMessageA(fd, WM_COMMAND, g_save.typed.empty() ? IDCANCEL : IDOK, 0);
}

}  // namespace

TEST_F(Win32MainDialog, AsCreatedInitialisedAndOnScreenUntilEscEndsIt) {
    ProbedDialog dlg;
    // A name typed without an extension gets the one the filter names.
    const std::string typed = (fs::temp_directory_path() / "kx9_typed").string();
    dlg.onScreen = [&](ProbedDialog& d) {
        std::vector<int> visible;
        std::thread reader([&] {
            for (const ExpectedControl& e : kControls) {
                if (d.GetDlgItem(e.id)->IsWindowVisible()) visible.push_back(e.id);
            }
        });
        reader.join();
        EXPECT_EQ(visible, (std::vector<int>{IDC_STEP_PLUG, IDC_PIC_1}))
            << "read on another thread";
        char title[64] = {};
        d.GetWindowTextA(title, sizeof title);
        EXPECT_STREQ(title, "Vormlark Joystick Calibration (Version 1.10)");

        CWinApp app;  // the save dialog without a parent is owned by the main window
        app.m_pMainWnd = &d;
        for (const std::string& choice : {std::string(), typed}) {
            g_save = SaveAnswer{};
            g_save.owner = static_cast<HWND>(d.m_hWnd);
            g_save.typed = choice;
            SetTimer(nullptr, 0, 10, &AnswerSaveDialog);
            CFileDialog fd(FALSE, "*.txt", "Kx9_Joystick_FW.txt",
                           OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, "Text files (*.txt)|*.txt||");
            EXPECT_EQ(fd.DoModal(), choice.empty() ? IDCANCEL : IDOK);
            EXPECT_TRUE(g_save.owned);
            EXPECT_EQ(g_save.initialName, "Kx9_Joystick_FW.txt");
            EXPECT_EQ(g_save.filters, "Text files (*.txt);");
            const std::string expected = choice.empty() ? "" : typed + ".txt";
            EXPECT_EQ(_stricmp(fd.GetPathName().c_str(), expected.c_str()), 0)
                << fd.GetPathName() << " vs " << expected;
        }
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(dlg.shownDuringInit) << "the dialog shows only once initialised";
    EXPECT_EQ(dlg.m_Calib.Edge_Size, 0x0123) << "the configuration was read";
    // The hook saw the key first, then the keyboard handling made it Cancel.
    EXPECT_GE(dlg.escAt, 0) << "the hook never saw the key";
    EXPECT_GT(dlg.cancelAt, dlg.escAt) << "Cancel must come after the hook saw Esc";
}

TEST_F(Win32MainDialog, EscTakenByTheHookLeavesItRunning) {
    ProbedDialog dlg;
    dlg.swallowKeys = true;
    EXPECT_EQ(dlg.DoModal(), 42);
    EXPECT_GE(dlg.escAt, 0) << "the hook never saw the key";
    EXPECT_EQ(dlg.cancelAt, -1);
}

TEST(Win32Windows, WindowlessObjectsRefuseHarmlessly) {
    CWnd none;
    char buffer[8] = "garbage";
    EXPECT_EQ(none.GetDlgItem(IDC_STEP_UP), nullptr);
    EXPECT_FALSE(none.ShowWindow(SW_SHOW) || none.IsWindowVisible() || none.IsIconic());
    EXPECT_EQ(none.GetWindowTextA(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    // Without a window these would become a thread timer and a thread message.
    EXPECT_EQ(none.SetTimer(1, 500), 0u);
    EXPECT_FALSE(none.PostMessageA(kProbe));
    EXPECT_EQ(CDialog(4711).DoModal(), -1) << "no such template";
}

TEST(Win32FileDialog, FilterBecomesNulSeparatedPairs) {
    const std::pair<const char*, std::string> cases[] = {
        {"Text files (*.txt)|*.txt||", std::string("Text files (*.txt)\0*.txt\0\0", 26)},
        {"A|*.a|B||", std::string("A\0*.a\0\0", 7)},  // a name without a pattern
        {"||", ""},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(plat::win32::FileDialogFilter(in), want) << in;
}
