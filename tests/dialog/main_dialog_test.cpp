// The main dialog's own part on the virtual window system: start-up order,
// the step-1 layout, picture places, painting while minimised, closing, and
// the template data.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "calib/calibration_file.h"
#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "tests/dialog/dialog_test_support.h"
#include "ui/kx9_joystick_calibration_dlg.h"
#include "ui/resource.h"

using plat::vws::Desktop;
using plat::vws::DialogDriver;
using testsupport::CountingHid;
using testsupport::TempWorkDir;

namespace {

const char kTitle[] = "Vormlark Joystick Calibration (Version 1.10)";
const char kLoadError[] = "Error loading kx9JoystickCalibration.txt file.";
const std::vector<int> kStep1Visible = {IDC_STEP_PLUG, IDC_PIC_1};

std::vector<std::string> From(const std::vector<std::string>& journal, const std::string& first) {
    auto it = std::find(journal.begin(), journal.end(), first);
    return {it, journal.end()};
}

class MainDialog : public ::testing::Test {
  protected:
    void SetUp() override { plat::InstallHid(&hid); }
    void TearDown() override { plat::InstallHid(nullptr); }

    TempWorkDir dir;
    Desktop desk;
    CountingHid hid{desk};
};

}  // namespace

TEST_F(MainDialog, StartUpLoadsTheFileOrSaysItCannot) {
    struct Case {
        const char* what;
        int file;  // 0 none, 1 a good file, 2 a directory in its place
        bool box;
    };
    const Case cases[] = {{"no file", 0, true}, {"a directory", 2, true}, {"good file", 1, false}};
    CalibrationRecord loaded{};
    loaded.Edge_Size = 0x1234;
    loaded.Edge_Reduc = 3;
    loaded.Center_Area = 0x0321;
    loaded.Center_BM = 9;
    loaded.MultInit_XP = 77;
    for (const Case& c : cases) {
        std::filesystem::remove_all("kx9JoystickCalibration.txt");
        if (c.file == 1) {
            std::ofstream("kx9JoystickCalibration.txt", std::ios::binary)
                << FormatCalibrationFile(loaded);
        } else if (c.file == 2) {
            std::filesystem::create_directory("kx9JoystickCalibration.txt");
        }
        desk.ClearRecords();
        CKx9JoystickCalibrationDlg dlg;
        dlg.m_Calib.Initial_Pos_X = 0x5555;  // must not survive the clearing
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open()) << c.what;

        const auto boxes = desk.MessageBoxes();
        if (c.box) {
            ASSERT_EQ(boxes.size(), 1u) << c.what;
            EXPECT_EQ(boxes[0].call.text, kLoadError) << c.what;
            EXPECT_EQ(boxes[0].call.caption, kTitle) << c.what;
            EXPECT_EQ(boxes[0].call.type, 0u) << c.what;
            EXPECT_FALSE(boxes[0].call.ownerVisible) << c.what << ": shown before the dialog";
            EXPECT_EQ(dlg.m_Calib, CalibrationRecord{}) << c.what;
        } else {
            EXPECT_TRUE(boxes.empty()) << c.what;
            EXPECT_EQ(dlg.m_Calib, loaded) << c.what;
        }
        // The box (if any), then discovery, then the dialog on screen.
        const auto tail = From(desk.Journal(), "SetWindowText dialog " + std::string(kTitle));
        std::vector<std::string> expected = {"SetWindowText dialog " + std::string(kTitle)};
        if (c.box) expected.push_back("MessageBox 0 " + std::string(kTitle) + ": " + kLoadError);
        expected.push_back("discovery");
        expected.push_back("ShowDialog");
        EXPECT_EQ(tail, expected) << c.what;
        EXPECT_EQ(drv.VisibleIds(), kStep1Visible) << c.what;
    }
}

TEST_F(MainDialog, InitialisationLaysOutStepOneInOrder) {
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());

    const std::vector<std::string> expected = {
        "CreateDialog 102",
        "SetIcon big icon128",
        "ShowWindow 1003 5",
        "ShowWindow 1002 0",
        "ShowWindow 1001 0",
        "ShowWindow 1000 0",
        "ShowWindow 1008 0",
        "ShowWindow 1009 0",
        "ShowWindow 1011 1",
        "ShowWindow 1012 0",
        "ShowWindow 1013 0",
        "ShowWindow 1014 0",
        "ShowWindow 1015 0",
        "SetWindowPos 1011 95 230 0 0 5",
        "SetWindowPos 1012 95 216 0 0 5",
        "SetWindowPos 1013 95 230 0 0 5",
        "SetWindowPos 1014 95 230 0 0 5",
        "SetWindowPos 1015 74 230 0 0 5",
        "ShowWindow 1006 0",
        "SetWindowText dialog Vormlark Joystick Calibration (Version 1.10)",
    };
    const auto journal = desk.Journal();
    ASSERT_GE(journal.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(journal.begin(), journal.begin() + expected.size()),
              expected);

    EXPECT_EQ(drv.VisibleIds(), kStep1Visible);
    EXPECT_EQ(drv.Title(), kTitle);
    ASSERT_NE(dlg.m_hIcon, nullptr);
    EXPECT_EQ(drv.BigIcon(), dlg.m_hIcon);
    EXPECT_EQ(drv.SmallIcon(), nullptr) << "only the large icon is set";
    EXPECT_EQ(dlg.SendMessageA(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dlg.m_hIcon));

    // Every picture's base plate lands on (95, 230) and ends at y = 434.
    struct Place {
        int id, x, y, plateX, plateY;
    };
    const Place places[] = {{IDC_PIC_1, 95, 230, 0, 0},
                            {IDC_PIC_2, 95, 216, 0, 14},
                            {IDC_PIC_3, 95, 230, 0, 0},
                            {IDC_PIC_4, 95, 230, 0, 0},
                            {IDC_PIC_5, 74, 230, 21, 0}};
    for (const Place& p : places) {
        const plat::Rect r = drv.Control(p.id).rect;
        EXPECT_EQ(std::make_pair(r.left, r.top), std::make_pair(p.x, p.y)) << p.id;
        EXPECT_EQ(std::make_pair(r.left + p.plateX, r.top + p.plateY), std::make_pair(95, 230))
            << p.id;
        EXPECT_EQ(r.bottom, 434) << p.id;
    }
}

TEST_F(MainDialog, StepOneLayoutFromAnyStep) {
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    const std::vector<plat::vws::ControlInfo> before = drv.Controls();

    // The visible texts and picture of each wizard step (step 6: no picture),
    // plus odd states the wizard never makes.
    const std::vector<std::vector<int>> states = {
        {1003, 1011},
        {1003, 1002, 1012},
        {1003, 1002, 1001, 1013},
        {1003, 1002, 1001, 1000, 1014},
        {1003, 1002, 1001, 1000, 1008, 1015},
        {1003, 1002, 1001, 1000, 1008, 1009},
        {},
        {1002, 1001, 1000, 1008, 1009, 1011, 1012, 1013, 1014, 1015},
    };
    const int all[] = {1002, 1001, 1000, 1003, 1008, 1009, 1011, 1012, 1013, 1014, 1015};
    for (std::size_t i = 0; i < states.size(); ++i) {
        for (int id : all) {
            const bool show = std::count(states[i].begin(), states[i].end(), id) != 0;
            dlg.GetDlgItem(id)->ShowWindow(show ? SW_SHOWNORMAL : SW_HIDE);
        }
        dlg.ShowStep1Layout();
        EXPECT_EQ(drv.VisibleIds(), kStep1Visible) << "from state " << i;
        dlg.ShowStep1Layout();
        EXPECT_EQ(drv.VisibleIds(), kStep1Visible) << "twice, from state " << i;
    }

    // It leaves the button alone and moves nothing.
    dlg.GetDlgItem(IDC_READ_EEPROM)->ShowWindow(SW_SHOW);
    dlg.ShowStep1Layout();
    EXPECT_TRUE(dlg.GetDlgItem(IDC_READ_EEPROM)->IsWindowVisible());
    const std::vector<plat::vws::ControlInfo> after = drv.Controls();
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].rect.left, before[i].rect.left) << after[i].id;
        EXPECT_EQ(after[i].rect.top, before[i].rect.top) << after[i].id;
    }
}

TEST_F(MainDialog, MinimisedPaintCentresTheIcon) {
    CKx9JoystickCalibrationDlg dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());

    struct Case {
        int width, height, icon, x, y;
    };
    // (extent - icon + 1) / 2, truncated toward zero: -31 / 2 is -15.
    const Case cases[] = {{32, 32, 32, 0, 0},      {35, 36, 32, 2, 2},  {0, 0, 32, -15, -15},
                          {0, 1, 32, -15, -15},    {1, 33, 32, -15, 1}, {35, 0, 48, -6, -23},
                          {366, 497, 32, 167, 233}};
    drv.SetIconic(true);
    for (const Case& c : cases) {
        desk.SetSystemMetric(SM_CXICON, c.icon);
        desk.SetSystemMetric(SM_CYICON, c.icon);
        drv.SetClientSize(c.width, c.height);
        desk.ClearRecords();
        dlg.SendMessageA(WM_PAINT);
        const auto journal = desk.Journal();
        ASSERT_EQ(journal.size(), 4u) << c.width << "x" << c.height;
        const std::string dc = journal[0].substr(std::string("BeginPaint ").size());
        const std::vector<std::string> expected = {
            "BeginPaint " + dc, "IconEraseBkgnd " + dc,
            "DrawIcon " + dc + " " + std::to_string(c.x) + " " + std::to_string(c.y) + " icon128",
            "EndPaint " + dc};
        EXPECT_EQ(journal, expected) << c.width << "x" << c.height << ", icon " << c.icon;
    }

    drv.SetIconic(false);
    desk.ClearRecords();
    dlg.SendMessageA(WM_PAINT);
    EXPECT_EQ(desk.Journal(), std::vector<std::string>{"DefaultPaint"});
}

TEST_F(MainDialog, ClosingEndsTheDialogAndReportsCompletionOnlyWhenCalibrated) {
    struct Case {
        const char* what;
        bool viaEscape;
        bool calibrated;
        bool completedBox;
    };
    const Case cases[] = {{"close", false, false, false},
                          {"close, calibrated", false, true, true},
                          {"Escape, calibrated", true, true, false}};
    for (const Case& c : cases) {
        desk.ClearRecords();
        CKx9JoystickCalibrationDlg dlg;
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open());
        dlg.m_bCalibrated = c.calibrated ? 1 : 0;
        // A running unplug poll ends with the window.
        dlg.SetTimer(IDT_UNPLUG_POLL, 500);
        desk.ClearRecords();
        if (c.viaEscape) {
            drv.PostKey(VK_ESCAPE);
        } else {
            drv.PostClose();
        }
        drv.PumpAll();
        EXPECT_TRUE(drv.Ended()) << c.what;
        EXPECT_EQ(drv.Result(), IDCANCEL) << c.what;
        EXPECT_FALSE(drv.Exists()) << c.what;
        desk.AdvanceClock(5000);
        EXPECT_EQ(drv.PumpAll(), 0) << c.what << ": no tick after the end";

        const auto boxes = desk.MessageBoxes();
        if (c.completedBox) {
            ASSERT_EQ(boxes.size(), 1u) << c.what;
            EXPECT_EQ(boxes[0].call.text, "You have completed calibration.");
            EXPECT_EQ(boxes[0].call.caption, kTitle);
            EXPECT_EQ(boxes[0].call.type, static_cast<UINT>(MB_ICONINFORMATION));
            const auto journal = desk.Journal();
            EXPECT_LT(
                std::find(journal.begin(), journal.end(), "EndDialog 2"),
                std::find_if(journal.begin(), journal.end(),
                             [](const std::string& s) { return s.rfind("MessageBox", 0) == 0; }))
                << "the box comes after the default close";
        } else {
            EXPECT_TRUE(boxes.empty()) << c.what;
        }
    }
}

TEST(MainDialogLink, ClosingStopsTheReaderAndReleasesTheStick) {
    TempWorkDir dir;
    Desktop desk;
    sim::SimHidDriver driver;
    sim::VirtualStick& stick = driver.AddStick();
    plat::InstallHid(&driver);
    {
        CKx9JoystickCalibrationDlg dlg;
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open());
        ASSERT_EQ(dlg.m_bDeviceFound.load(), 1u) << "discovery during start-up";
        ASSERT_TRUE(stick.WaitForPendingReads(1, std::chrono::seconds(30))) << "reader running";
        ASSERT_NE(dlg.m_pInBuf.load(), nullptr);

        drv.PostClose();
        drv.PumpAll();
        EXPECT_TRUE(drv.Ended());
        EXPECT_EQ(drv.Result(), IDCANCEL);
        EXPECT_EQ(dlg.m_pInBuf.load(), nullptr);
        EXPECT_EQ(dlg.m_hDevice.load(), nullptr) << "closed";
        EXPECT_EQ(dlg.m_hReaderThread.load(), nullptr);
        EXPECT_EQ(stick.OpenHandles(), 0u);
        EXPECT_EQ(stick.PendingReads(), 0u);
        EXPECT_TRUE(desk.MessageBoxes().size() == 1) << "only the missing-file box";
        // The dialog keeps its input system for the process's life; a test
        // that makes many dialogs gives it back itself.
        if (dlg.m_pDI != nullptr) dlg.m_pDI->Release();
    }
    plat::InstallHid(nullptr);
}

TEST(MainDialogTemplate, ControlsExactlyAsDesigned) {
    const plat::DialogTemplate* t = plat::FindDialogTemplate(IDD_MAIN);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(plat::FindDialogTemplate(IDD_MAIN + 1), nullptr);
    EXPECT_EQ(std::vector<int>({t->x, t->y, t->cx, t->cy}), std::vector<int>({0, 0, 244, 306}));
    EXPECT_STREQ(t->caption, "Kx9JoystickCalibration");
    EXPECT_STREQ(t->fontFace, "MS Shell Dlg");
    EXPECT_EQ(t->pointSize, 8);
    EXPECT_FALSE(t->italic);
    EXPECT_EQ(t->style, 0x90C800C8u) << "popup, visible, caption, system menu, modal frame, font";
    EXPECT_EQ(t->exStyle, 0x00040000u);

    using K = plat::ControlKind;
    struct Expect {
        int id;
        K kind;
        const char* text;
        unsigned image;
        int x, y, cx, cy;
    };
    // Bytes spelled out: LF only, four spaces after the number, eight before
    // the second line, U+201C / U+201D in UTF-8.
    const Expect expected[] = {
        {1002, K::kStaticText,
         "2.    Move \xE2\x80\x9CJoystick\xE2\x80\x9D SLOWLY to reach up\x0A"
         "        Then press \xE2\x80\x9CSPACE\xE2\x80\x9D",
         0, 17, 37, 209, 18},
        {1001, K::kStaticText,
         "3.    Move \xE2\x80\x9CJoystick\xE2\x80\x9D SLOWLY to reach right\x0A"
         "        Then press \xE2\x80\x9CSPACE\xE2\x80\x9D",
         0, 17, 57, 170, 17},
        {1000, K::kStaticText,
         "4.    Move \xE2\x80\x9CJoystick\xE2\x80\x9D SLOWLY to reach down\x0A"
         "        Then press \xE2\x80\x9CSPACE\xE2\x80\x9D",
         0, 17, 78, 212, 16},
        {1006, K::kPushButton, "READ EEPROM", 0, 7, 283, 66, 16},
        {1003, K::kStaticText,
         "1.    Plug Joystick to PC\x0A"
         "        Then press \xE2\x80\x9CSPACE\xE2\x80\x9D",
         0, 17, 14, 211, 16},
        {1008, K::kStaticText,
         "5.    Move \xE2\x80\x9CJoystick\xE2\x80\x9D SLOWLY to reach left\x0A"
         "        Then press \xE2\x80\x9CSPACE\xE2\x80\x9D",
         0, 17, 99, 212, 16},
        {1009, K::kStaticText, "6.    Unplug USB of Joystick.", 0, 17, 121, 213, 16},
        {1011, K::kStaticBitmap, "", 129, 85, 164, 117, 135},
        {1012, K::kStaticBitmap, "", 130, 94, 164, 117, 135},
        {1013, K::kStaticBitmap, "", 131, 101, 164, 117, 135},
        {1014, K::kStaticBitmap, "", 132, 110, 164, 117, 135},
        {1015, K::kStaticBitmap, "", 133, 120, 164, 117, 135},
    };
    ASSERT_EQ(t->controlCount, std::size(expected));
    for (std::size_t i = 0; i < t->controlCount; ++i) {
        const plat::ControlTemplate& c = t->controls[i];
        const Expect& e = expected[i];
        EXPECT_EQ(c.id, e.id) << "control " << i;
        EXPECT_EQ(c.kind, e.kind) << e.id;
        EXPECT_EQ(std::string(c.text), std::string(e.text)) << e.id;
        EXPECT_EQ(c.image, e.image) << e.id;
        EXPECT_EQ(std::vector<int>({c.x, c.y, c.cx, c.cy}),
                  std::vector<int>({e.x, e.y, e.cx, e.cy}))
            << e.id;
        // Child windows, created visible; only the button is a tab stop;
        // the texts start groups.
        EXPECT_EQ(c.style & 0x50000000u, 0x50000000u) << e.id;
        EXPECT_EQ((c.style & plat::kWsTabStop) != 0, e.kind == K::kPushButton) << e.id;
        EXPECT_EQ((c.style & plat::kWsGroup) != 0, e.kind == K::kStaticText) << e.id;
        EXPECT_EQ(c.style & 0x1Fu, e.kind == K::kStaticBitmap ? plat::kSsBitmap : 0u) << e.id;
    }
}

TEST(MainDialogTemplate, EmbeddedResourcesAreTheFilesBytes) {
    const char* source = std::getenv("KX9_SOURCE_DIR");
    if (source == nullptr) GTEST_SKIP() << "KX9_SOURCE_DIR not set";
    struct Resource {
        bool icon;
        unsigned id;
        const char* file;
    };
    const Resource resources[] = {
        {false, 129, "step1.bmp"}, {false, 130, "step2.bmp"},
        {false, 131, "step3.bmp"}, {false, 132, "step4.bmp"},
        {false, 133, "step5.bmp"}, {true, 128, "Kx9JoystickCalibration.ico"}};
    for (const Resource& r : resources) {
        std::ifstream in(std::filesystem::path(source) / "ui" / "res" / r.file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        const plat::ResourceBytes embedded =
            r.icon ? plat::FindIconResource(r.id) : plat::FindBitmapResource(r.id);
        ASSERT_EQ(embedded.size, bytes.size()) << r.file;
        EXPECT_TRUE(
            std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(embedded.data)))
            << r.file;
    }
    EXPECT_EQ(plat::FindBitmapResource(128).data, nullptr);
    EXPECT_EQ(plat::FindIconResource(129).data, nullptr);
}
