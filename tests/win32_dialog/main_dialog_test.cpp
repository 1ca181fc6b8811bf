// The program's own main dialog on the Win32 backend, from the real
// template resource: what its initialisation leaves on screen, and how it
// ends. No stick is attached, so discovery finds none and keys reach the
// dialog keyboard handling.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/dialog.h"
#include "tests/win32_dialog/dialog_harness.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

using kx9test::kProbe;

namespace {

constexpr const char* kTitle = "Vormlark Joystick Calibration (Version 1.10)";

struct Place {
    int id;
    int x, y;
};

// Where the pictures sit once the dialog is initialised, in client pixels,
// whatever the dialog font: each picture's base plate lands on the same spot.
const Place kPictures[] = {
    {IDC_PIC_1, 95, 230}, {IDC_PIC_2, 95, 216}, {IDC_PIC_3, 95, 230},
    {IDC_PIC_4, 95, 230}, {IDC_PIC_5, 74, 230},
};

const int kAllControls[] = {IDC_STEP_UP,   IDC_STEP_RIGHT, IDC_STEP_DOWN,   IDC_READ_EEPROM,
                            IDC_STEP_PLUG, IDC_STEP_LEFT,  IDC_STEP_UNPLUG, IDC_PIC_1,
                            IDC_PIC_2,     IDC_PIC_3,      IDC_PIC_4,       IDC_PIC_5};

bool ShownAfterInit(int id) {
    return id == IDC_STEP_PLUG || id == IDC_PIC_1;
}

// Runs each test in a folder of its own, with or without the configuration
// file that the dialog reads from the current directory.
class WorkingFolder {
  public:
    explicit WorkingFolder(bool withConfiguration) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        GetCurrentDirectoryA(MAX_PATH, m_previous);
        m_folder = std::string(temp) + "kx9_main_dialog_test";
        CreateDirectoryA(m_folder.c_str(), nullptr);
        SetCurrentDirectoryA(m_folder.c_str());
        std::remove("kx9JoystickCalibration.txt");
        if (withConfiguration) {
            std::FILE* f = std::fopen("kx9JoystickCalibration.txt", "wb");
            if (f != nullptr) {
                std::fputs("Edge_Size = 0x0123;\nCenter_BM = 7;\n", f);
                std::fclose(f);
            }
        }
    }
    ~WorkingFolder() {
        std::remove("kx9JoystickCalibration.txt");
        SetCurrentDirectoryA(m_previous);
        RemoveDirectoryA(m_folder.c_str());
    }

  private:
    char m_previous[MAX_PATH] = {};
    std::string m_folder;
};

// The real dialog, looked at when its initialisation has run and again once
// it is on screen, then closed as the user would.
class ProbedDialog : public CKx9JoystickCalibrationDlg {
  public:
    RECT before[IDC_PIC_5 + 1] = {};
    RECT after[IDC_PIC_5 + 1] = {};
    bool styleVisible[IDC_PIC_5 + 1] = {};
    bool onScreen[IDC_PIC_5 + 1] = {};
    std::string title;
    LRESULT bigIcon = 0;
    bool dialogOnScreen = false;
    // What to do once the dialog is on screen.
    UINT closeMessage = WM_CLOSE;
    WPARAM closeWParam = 0;

    BOOL OnInitDialog() override {
        HWND hwnd = static_cast<HWND>(m_hWnd);
        // Boxes owned by this dialog are answered by the test's hook.
        if (kx9test::g_answer != nullptr) kx9test::g_answer->dialog = hwnd;
        for (int id : kAllControls) before[id] = kx9test::ClientRectOf(::GetDlgItem(hwnd, id));
        const BOOL r = CKx9JoystickCalibrationDlg::OnInitDialog();
        for (int id : kAllControls) {
            HWND c = ::GetDlgItem(hwnd, id);
            after[id] = kx9test::ClientRectOf(c);
            styleVisible[id] = (GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) != 0;
        }
        char buffer[260] = {};
        GetWindowTextA(buffer, sizeof buffer);
        title = buffer;
        bigIcon = ::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0);
        PostMessageA(kProbe);
        return r;
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kProbe) {
            dialogOnScreen = IsWindowVisible() != FALSE;
            for (int id : kAllControls) onScreen[id] = GetDlgItem(id)->IsWindowVisible() != FALSE;
            PostMessageA(closeMessage, closeWParam, 1);
            return 0;
        }
        return CKx9JoystickCalibrationDlg::WindowProc(message, wParam, lParam);
    }
};

TEST(Win32MainDialog, InitialisationLeavesStepOneAndPlacesThePictures) {
    WorkingFolder folder(true);
    kx9test::SystemWindowAnswer boxes;
    kx9test::SystemWindowHook hook(&boxes);
    ProbedDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL) << "the close box ends it with the cancel result";

    EXPECT_EQ(boxes.opened, 0) << "with the configuration present no box is shown";
    EXPECT_EQ(dlg.m_Calib.Edge_Size, 0x0123);
    EXPECT_EQ(dlg.m_Calib.Center_BM, 7);
    EXPECT_EQ(dlg.title, kTitle);
    EXPECT_NE(dlg.bigIcon, 0) << "the large icon is set";
    EXPECT_EQ(dlg.bigIcon, reinterpret_cast<LRESULT>(dlg.m_hIcon));
    EXPECT_TRUE(dlg.dialogOnScreen);
    for (int id : kAllControls) {
        EXPECT_EQ(dlg.styleVisible[id], ShownAfterInit(id)) << "control " << id;
        EXPECT_EQ(dlg.onScreen[id], ShownAfterInit(id)) << "control " << id;
    }
    for (const Place& p : kPictures) {
        SCOPED_TRACE("picture " + std::to_string(p.id));
        const RECT& b = dlg.before[p.id];
        const RECT& a = dlg.after[p.id];
        EXPECT_EQ(a.left, p.x);
        EXPECT_EQ(a.top, p.y);
        EXPECT_EQ(a.right - a.left, b.right - b.left) << "moved, not resized";
        EXPECT_EQ(a.bottom - a.top, b.bottom - b.top);
    }
    // Every plate lands on the same 175 x 204 area: the bottoms line up.
    for (const Place& p : kPictures) EXPECT_EQ(dlg.after[p.id].bottom, 434) << p.id;
    // Nothing else moved.
    for (int id : {IDC_STEP_UP, IDC_STEP_PLUG, IDC_READ_EEPROM}) {
        EXPECT_EQ(dlg.after[id].left, dlg.before[id].left) << id;
        EXPECT_EQ(dlg.after[id].top, dlg.before[id].top) << id;
    }
}

TEST(Win32MainDialog, MissingConfigurationIsReportedBeforeTheDialogShows) {
    WorkingFolder folder(false);
    kx9test::SystemWindowAnswer boxes;
    kx9test::SystemWindowHook hook(&boxes);
    ProbedDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(boxes.opened, 1);
    EXPECT_EQ(boxes.caption, kTitle);
    EXPECT_EQ(boxes.text, "Error loading kx9JoystickCalibration.txt file.");
    EXPECT_FALSE(boxes.icon);
    EXPECT_FALSE(boxes.ownerVisible);
    EXPECT_TRUE(dlg.dialogOnScreen) << "initialisation goes on after the box";
    EXPECT_EQ(dlg.m_Calib.Edge_Size, 0);
}

TEST(Win32MainDialog, EnterAndEscEndItWhileNoStickIsFound) {
    struct Case {
        WPARAM key;
        INT_PTR result;
    };
    for (const Case c : {Case{VK_ESCAPE, IDCANCEL}, Case{VK_RETURN, IDOK}}) {
        SCOPED_TRACE("key " + std::to_string(c.key));
        WorkingFolder folder(true);
        ProbedDialog dlg;
        dlg.closeMessage = WM_KEYDOWN;
        dlg.closeWParam = c.key;
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(dlg.m_bDeviceFound.load(), 0u);
    }
}

}  // namespace
