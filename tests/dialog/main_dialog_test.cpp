// The main dialog and the application object on the virtual window system:
// start-up order, the step-1 layout, painting while minimised, closing, and
// the template data.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/kx9_calibration_app.h"
#include "calib/calibration_file.h"
#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

using plat::vws::Desktop;
using plat::vws::DialogDriver;
namespace fs = std::filesystem;

namespace {

const std::string kTitle = "Vormlark Joystick Calibration (Version 1.10)";
const std::string kLoadError = "Error loading kx9JoystickCalibration.txt file.";
const std::vector<int> kStep1Visible = {IDC_STEP_PLUG, IDC_PIC_1};

// No controllers: each discovery only marks its place in the journal.
class CountingHid final : public plat::HidDriver {
  public:
    bool CreateInputSystem(plat::InputSystem**) override {
        Desktop::Current().Note("discovery");
        return false;
    }
    plat::Handle Open(const char*) override { return plat::InvalidHandle(); }
    bool Close(plat::Handle) override { return false; }
    bool GetAttributes(plat::Handle, plat::HidAttributes*) override { return false; }
    bool GetPreparsedData(plat::Handle, plat::PreparsedData*) override { return false; }
    bool GetCaps(plat::PreparsedData, plat::HidCaps*) override { return false; }
    void FreePreparsedData(plat::PreparsedData) override {}
    plat::IoStart Read(plat::Handle, void*, std::uint32_t, plat::IoRecord*) override {
        return plat::IoStart::kFailed;
    }
    plat::IoStart Write(plat::Handle, const void*, std::uint32_t, plat::IoRecord*) override {
        return plat::IoStart::kFailed;
    }
    bool GetResult(plat::Handle, plat::IoRecord*, std::uint32_t*) override { return false; }
    void Cancel(plat::Handle, plat::IoRecord*) override {}
};

// Journal lines one a line, so a failure shows them as a diff.
std::string Lines(auto from, auto to) {
    std::string out;
    for (; from != to; ++from) out += *from + "\n";
    return out;
}

// Each test in a fresh current directory, so the configuration file it
// writes (or leaves out) is its own.
class MainDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir);
        fs::current_path(dir);
        plat::InstallHid(&hid);
    }
    void TearDown() override {
        plat::InstallHid(nullptr);
        std::error_code ignored;
        fs::current_path(previous, ignored);
        fs::remove_all(dir, ignored);
    }

    fs::path previous = fs::current_path();
    fs::path dir = fs::temp_directory_path() /
                   ("kx9_dialog_" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    Desktop desk;
    CountingHid hid;
};

}  // namespace

TEST_F(MainDialog, StartUpLoadsTheFileOrSaysSoBeforeDiscoveryAndShowing) {
    // Edge_Size, Edge_Reduc, MultInit_XP, Center_Area and Center_BM set.
    const CalibrationRecord good{0, 0, 0x1234, 3, 0, 0, 0, 77, 0, 0, 0x0321, 0, 0, 9};
    // 0: no file; 1: a good file; 2: a directory in its place (opens, cannot be read).
    for (int file : {0, 2, 1}) {
        fs::remove_all("kx9JoystickCalibration.txt");
        if (file == 1)
            std::ofstream("kx9JoystickCalibration.txt", std::ios::binary)
                << FormatCalibrationFile(good);
        if (file == 2) fs::create_directory("kx9JoystickCalibration.txt");
        desk.ClearRecords();
        CKx9JoystickCalibrationDlg dlg;
        dlg.m_Calib.Initial_Pos_X = 0x5555;  // must not survive the clearing
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open()) << "file " << file;

        const bool box = file != 1;
        const auto boxes = desk.MessageBoxes();
        ASSERT_EQ(boxes.size(), box ? 1u : 0u) << "file " << file;
        EXPECT_FALSE(box && boxes[0].call.ownerVisible) << "shown before the dialog";
        EXPECT_EQ(dlg.m_Calib, box ? CalibrationRecord{} : good) << "file " << file;
        // The box (if any), then discovery, then the dialog on screen.
        const auto journal = desk.Journal();
        const std::string titled = "SetWindowText dialog " + kTitle;
        const std::string boxLine = box ? "MessageBox 0 " + kTitle + ": " + kLoadError + "\n" : "";
        EXPECT_EQ(Lines(std::find(journal.begin(), journal.end(), titled), journal.end()),
                  titled + "\n" + boxLine + "discovery\nShowDialog\n")
            << "file " << file;
        EXPECT_EQ(drv.VisibleIds(), kStep1Visible) << "file " << file;
    }
}

TEST_F(MainDialog, InitialisationAndShowStep1LayoutLeaveStepOne) {
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    const auto journal = desk.Journal();
    ASSERT_GE(journal.size(), 20u);
    EXPECT_EQ(Lines(journal.begin(), journal.begin() + 20),
              "CreateDialog 102\nSetIcon big icon128\n"
              "ShowWindow 1003 5\nShowWindow 1002 0\nShowWindow 1001 0\nShowWindow 1000 0\n"
              "ShowWindow 1008 0\nShowWindow 1009 0\nShowWindow 1011 1\nShowWindow 1012 0\n"
              "ShowWindow 1013 0\nShowWindow 1014 0\nShowWindow 1015 0\n"
              "SetWindowPos 1011 95 230 0 0 5\nSetWindowPos 1012 95 216 0 0 5\n"
              "SetWindowPos 1013 95 230 0 0 5\nSetWindowPos 1014 95 230 0 0 5\n"
              "SetWindowPos 1015 74 230 0 0 5\nShowWindow 1006 0\n"
              "SetWindowText dialog Vormlark Joystick Calibration (Version 1.10)\n");
    EXPECT_EQ(drv.VisibleIds(), kStep1Visible);
    EXPECT_EQ(drv.Title(), kTitle);

    // Left,top and bottom of each picture: moved, not resized, so every
    // base plate ends on the same line.
    std::string places;
    for (int id = IDC_PIC_1; id <= IDC_PIC_5; ++id) {
        const plat::Rect r = drv.Control(id).rect;
        places += std::to_string(r.left) + "," + std::to_string(r.top) + "-" +
                  std::to_string(r.bottom) + " ";
    }
    EXPECT_EQ(places, "95,230-434 95,216-434 95,230-434 95,230-434 74,230-434 ");

    // ShowStep1Layout from nothing on screen, and from everything on screen
    // but step 1: each control hidden and shown by it.
    for (const bool inverse : {false, true}) {
        for (int id : {1000, 1001, 1002, 1003, 1008, 1009, 1011, 1012, 1013, 1014, 1015}) {
            const bool show = inverse && id != IDC_STEP_PLUG && id != IDC_PIC_1;
            dlg.GetDlgItem(id)->ShowWindow(show ? SW_SHOWNORMAL : SW_HIDE);
        }
        dlg.ShowStep1Layout();
        EXPECT_EQ(drv.VisibleIds(), kStep1Visible) << (inverse ? "from all but" : "from none");
    }
}

TEST_F(MainDialog, MinimisedPaintCentresTheIcon) {
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    // (extent - icon + 1) / 2, truncated toward zero: -31 / 2 is -15.
    const int cases[][5] = {// width, height, icon, x, y
                            {32, 32, 32, 0, 0},  {35, 36, 32, 2, 2},   {0, 0, 32, -15, -15},
                            {1, 33, 32, -15, 1}, {35, 0, 48, -6, -23}, {366, 497, 32, 167, 233}};
    drv.SetIconic(true);
    for (const auto& c : cases) {
        desk.SetSystemMetric(SM_CXICON, c[2]);
        desk.SetSystemMetric(SM_CYICON, c[2]);
        drv.SetClientSize(c[0], c[1]);
        desk.ClearRecords();
        dlg.SendMessageA(WM_PAINT);
        const auto journal = desk.Journal();
        const std::string dc = journal.empty() ? "" : journal[0].substr(11);  // after "BeginPaint "
        const std::string at = std::to_string(c[3]) + " " + std::to_string(c[4]);
        EXPECT_EQ(Lines(journal.begin(), journal.end()), "BeginPaint " + dc + "\nIconEraseBkgnd " +
                                                             dc + "\nDrawIcon " + dc + " " + at +
                                                             " icon128\nEndPaint " + dc + "\n")
            << c[0] << "x" << c[1] << ", icon " << c[2];
    }
    drv.SetIconic(false);
    desk.ClearRecords();
    dlg.SendMessageA(WM_PAINT);
    EXPECT_EQ(desk.Journal(), std::vector<std::string>{"DefaultPaint"});
}

TEST_F(MainDialog, ClosingEndsTheDialogAndReportsCompletionOnlyWhenCalibrated) {
    // Escape is no close: no box then.
    for (const std::string what : {"close", "close, calibrated", "Escape, calibrated"}) {
        const bool escape = what.rfind("Escape", 0) == 0;
        const bool calibrated = what.find("calibrated") != std::string::npos;
        CKx9JoystickCalibrationDlg dlg;
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open());
        dlg.m_bCalibrated = calibrated ? 1 : 0;
        dlg.SetTimer(IDT_UNPLUG_POLL, 500);  // a running poll ends with the window
        desk.ClearRecords();
        escape ? drv.PostKey(VK_ESCAPE) : drv.PostClose();
        drv.PumpAll();
        EXPECT_EQ(drv.Result(), IDCANCEL) << what;
        EXPECT_FALSE(drv.Exists()) << what;
        desk.AdvanceClock(5000);
        EXPECT_EQ(drv.PumpAll(), 0) << what << ": no tick after the end";

        const auto journal = desk.Journal();
        const auto shown = std::find_if(journal.begin(), journal.end(), [](const std::string& s) {
            return s.rfind("MessageBox", 0) == 0;
        });
        EXPECT_EQ(shown == journal.end() ? "none" : *shown,
                  calibrated && !escape
                      ? "MessageBox 64 " + kTitle + ": You have completed calibration."
                      : "none")
            << what;
        EXPECT_LT(std::find(journal.begin(), journal.end(), "EndDialog 2"), shown)
            << what << ": any box comes after the default close";
    }
}

TEST_F(MainDialog, ClosingWithALinkStopsTheReaderAndReleasesTheStick) {
    sim::SimHidDriver driver;
    sim::VirtualStick& stick = driver.AddStick();
    plat::InstallHid(&driver);
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    ASSERT_EQ(dlg.m_bDeviceFound.load(), 1u) << "discovery during start-up";
    ASSERT_TRUE(stick.WaitForPendingReads(1, std::chrono::seconds(30))) << "reader running";

    drv.PostClose();
    drv.PumpAll();
    EXPECT_EQ(drv.Result(), IDCANCEL);
    EXPECT_EQ(dlg.m_pInBuf.load(), nullptr);
    EXPECT_EQ(dlg.m_hDevice.load(), nullptr);
    EXPECT_EQ(dlg.m_hReaderThread.load(), nullptr);
    EXPECT_EQ(stick.OpenHandles(), 0u);
    EXPECT_EQ(stick.PendingReads(), 0u);
    // The dialog keeps its input system for the process's life.
    if (dlg.m_pDI != nullptr) dlg.m_pDI->Release();
}

TEST_F(MainDialog, ApplicationRunsTheDialogModallyAndForgetsItAfterwards) {
    CKx9CalibrationApp app;
    ASSERT_EQ(AfxGetApp(), &app);
    // Inside the modal loop: ask for help once, then close.
    int idle = 0;
    desk.SetIdleHook([&] {
        DialogDriver drv(*static_cast<CDialog*>(AfxGetApp()->m_pMainWnd));
        ++idle == 1 ? drv.Post(WM_COMMAND, ID_HELP, 0) : drv.PostClose();
    });
    EXPECT_EQ(app.InitInstance(), FALSE);
    EXPECT_EQ(idle, 2) << "help left the dialog running";
    EXPECT_EQ(app.m_pMainWnd, nullptr) << "no pointer to the destroyed dialog";

    // The framework's steps, the dialog's life (checked above), help inside it.
    const auto journal = desk.Journal();
    ASSERT_GE(journal.size(), 9u);
    EXPECT_EQ(Lines(journal.begin(), journal.begin() + 4) + "...\n" +
                  Lines(journal.end() - 5, journal.end()),
              "InitCommonControls 8 255\nAfxEnableControlContainer\n"
              "SetRegistryKey Local AppWizard-Generated Applications\nCreateDialog 102\n...\n"
              "discovery\nShowDialog\nOnHelp\nEndDialog 2\nDestroyDialog\n");
}

// The controls' texts, places and styles are held to the resource script by
// the template tests, and what Windows makes of that script to the design by
// the Win32 dialog tests.
TEST(MainDialogTemplate, DialogAndPicturesAsDesigned) {
    const plat::DialogTemplate* t = plat::FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::vector<int>({t->x, t->y, t->cx, t->cy}), std::vector<int>({0, 0, 244, 306}));
    EXPECT_EQ(std::string(t->caption) + ", " + t->fontFace + " " + std::to_string(t->pointSize),
              "Kx9JoystickCalibration, MS Shell Dlg 8");
    EXPECT_EQ(t->style, 0x90C800C8u) << "popup, visible, caption, system menu, modal frame, font";
    EXPECT_EQ(t->exStyle, 0x00040000u);
    // Each control's id and bitmap, in template order.
    std::string controls;
    for (std::size_t i = 0; i < t->controlCount; ++i) {
        controls +=
            std::to_string(t->controls[i].id) + ":" + std::to_string(t->controls[i].image) + " ";
    }
    EXPECT_EQ(controls,
              "1002:0 1001:0 1000:0 1006:0 1003:0 1008:0 1009:0 "
              "1011:129 1012:130 1013:131 1014:132 1015:133 ");
}
