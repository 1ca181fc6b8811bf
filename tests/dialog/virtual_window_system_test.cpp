// The virtual window system on its own: a plain dialog made from the main
// template, driven step by step and modally.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/virtual_window_system.h"
#include "ui/resource.h"

using plat::vws::Clock;
using plat::vws::Desktop;
using plat::vws::DialogDriver;

namespace {

constexpr auto kLimit = std::chrono::seconds(30);

// Records what reaches it and where; swallows keys when asked to.
class ProbeDialog : public CDialog {
  public:
    ProbeDialog() : CDialog(IDD_MAIN) {}

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (boxInInit) MessageBoxA("from init", "Probe", MB_ICONINFORMATION);
        if (timerInInit != 0) SetTimer(3, timerInInit);
        return TRUE;
    }
    BOOL PreTranslateMessage(plat::Message* msg) override {
        seen.push_back(msg->message);
        if (swallowKeys && msg->message == WM_KEYDOWN) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }
    void OnTimer(UINT_PTR id) {
        ticks.push_back(id);
        tickCount++;
        CDialog::OnTimer(id);
    }
    void OnClose() {
        closes++;
        CDialog::OnClose();
    }

    bool boxInInit = false;
    bool swallowKeys = false;
    UINT timerInInit = 0;
    std::atomic<int> tickCount{0};
    std::vector<UINT> seen;
    std::vector<UINT_PTR> ticks;
    int closes = 0;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDialog, CDialog)
ON_WM_TIMER()
ON_WM_CLOSE()
END_MESSAGE_MAP()

class Answers : public plat::vws::Responder {
  public:
    int AnswerMessageBox(const plat::vws::MessageBoxCall& call) override {
        texts.push_back(call.text);
        return boxAnswer;
    }
    bool AnswerFileDialog(const plat::vws::FileDialogCall&, std::string* path) override {
        *path = chosen;
        return !chosen.empty();
    }
    int boxAnswer = IDCANCEL;
    std::string chosen;
    std::vector<std::string> texts;
};

std::vector<std::string> Matching(const std::vector<std::string>& journal,
                                  const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : journal) {
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
}

}  // namespace

TEST(DialogUnits, ConvertLikeMapDialogRect) {
    struct Case {
        int units, x, y;
    };
    // x * 6 / 4 and y * 13 / 8, halves rounded away from zero.
    const Case cases[] = {{0, 0, 0},       {1, 2, 2},    {3, 5, 5},       {4, 6, 7},
                          {17, 26, 28},    {37, 56, 60}, {209, 314, 340}, {244, 366, 397},
                          {306, 459, 497}, {-3, -5, -5}, {-1, -2, -2}};
    for (const Case& c : cases) {
        EXPECT_EQ(plat::vws::DialogUnitsToPixelsX(c.units), c.x) << "x of " << c.units;
        EXPECT_EQ(plat::vws::DialogUnitsToPixelsY(c.units), c.y) << "y of " << c.units;
    }
}

TEST(BitmapSize, ReadsHeadersAndRefusesDamagedOnes) {
    auto bmp = [](std::uint32_t infoSize, std::int32_t w, std::int32_t h, std::size_t size) {
        std::vector<std::uint8_t> b(size, 0);
        if (size >= 2) b[0] = 'B', b[1] = 'M';
        auto put = [&](std::size_t at, std::uint32_t v, int n) {
            for (int i = 0; i < n && at + i < b.size(); ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
        };
        put(14, infoSize, 4);
        if (infoSize == 12) {
            put(18, static_cast<std::uint32_t>(w), 2);
            put(20, static_cast<std::uint32_t>(h), 2);
        } else {
            put(18, static_cast<std::uint32_t>(w), 4);
            put(22, static_cast<std::uint32_t>(h), 4);
        }
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool ok;
        int w, h;
    };
    std::vector<Case> cases = {
        {"info header", bmp(40, 175, 204, 60), true, 175, 204},
        {"top-down", bmp(40, 196, -204, 60), true, 196, 204},
        {"core header", bmp(12, 16, 8, 40), true, 16, 8},
        {"zero width", bmp(40, 0, 10, 60), false, 0, 0},
        {"huge", bmp(40, 0x10000, 10, 60), false, 0, 0},
        {"lowest height", bmp(40, 10, INT32_MIN, 60), false, 0, 0},
        {"truncated", bmp(40, 10, 10, 20), false, 0, 0},
        {"unknown header", bmp(8, 10, 10, 60), false, 0, 0},
        {"empty", {}, false, 0, 0},
    };
    cases[0].bytes[1] = 'M';
    std::vector<std::uint8_t> notBmp = bmp(40, 10, 10, 60);
    notBmp[0] = 'X';
    cases.push_back({"no signature", notBmp, false, 0, 0});
    for (const Case& c : cases) {
        int w = 0, h = 0;
        const bool ok = plat::vws::BitmapSize({c.bytes.data(), c.bytes.size()}, &w, &h);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (ok) {
            EXPECT_EQ(std::make_pair(w, h), std::make_pair(c.w, c.h)) << c.what;
        }
    }
}

TEST(VirtualWindows, MadeFromTheTemplate) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    EXPECT_TRUE(drv.Visible());
    EXPECT_EQ(drv.Title(), "Kx9JoystickCalibration");

    const std::vector<plat::vws::ControlInfo> controls = drv.Controls();
    std::vector<int> ids;
    for (const auto& c : controls) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<int>{1002, 1001, 1000, 1006, 1003, 1008, 1009, 1011, 1012, 1013,
                                     1014, 1015}));
    // Every control is created visible.
    EXPECT_EQ(drv.VisibleIds(), ids);

    const plat::Rect up = drv.Control(IDC_STEP_UP).rect;
    EXPECT_EQ((std::vector<int>{up.left, up.top, up.Width(), up.Height()}),
              (std::vector<int>{26, 60, 314, 29}));
    EXPECT_EQ(drv.Control(IDC_READ_EEPROM).kind, plat::ControlKind::kPushButton);
    EXPECT_EQ(drv.Control(IDC_READ_EEPROM).text, "READ EEPROM");

    // Pictures take their bitmap's size, whatever the template says.
    const int pictures[] = {IDC_PIC_1, IDC_PIC_2, IDC_PIC_3, IDC_PIC_4, IDC_PIC_5};
    for (int id : pictures) {
        const plat::vws::ControlInfo c = drv.Control(id);
        int w = 0, h = 0;
        ASSERT_TRUE(plat::vws::BitmapSize(plat::FindBitmapResource(c.image), &w, &h)) << id;
        EXPECT_EQ(c.kind, plat::ControlKind::kStaticBitmap) << id;
        EXPECT_EQ(std::make_pair(c.rect.Width(), c.rect.Height()), std::make_pair(w, h)) << id;
        EXPECT_EQ(c.rect.top, 267) << id;
    }

    plat::Rect client;
    dlg.GetClientRect(&client);
    EXPECT_EQ(std::make_pair(client.Width(), client.Height()), std::make_pair(366, 497));
    EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
}

TEST(VirtualWindows, ShowHideAndMoveControls) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    CWnd* text = dlg.GetDlgItem(IDC_STEP_UP);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text, dlg.GetDlgItem(IDC_STEP_UP)) << "the same object every time";

    struct Step {
        int command;
        BOOL returnsWasVisible;
        BOOL visibleAfter;
    };
    const Step steps[] = {{SW_HIDE, TRUE, FALSE},       {SW_HIDE, FALSE, FALSE},
                          {SW_SHOWNORMAL, FALSE, TRUE}, {SW_SHOW, TRUE, TRUE},
                          {SW_HIDE, TRUE, FALSE},       {SW_SHOW, FALSE, TRUE}};
    for (const Step& s : steps) {
        EXPECT_EQ(text->ShowWindow(s.command), s.returnsWasVisible) << "command " << s.command;
        EXPECT_EQ(text->IsWindowVisible(), s.visibleAfter) << "command " << s.command;
    }

    // A control inside a hidden dialog is not visible, as on the platform.
    dlg.ShowWindow(SW_HIDE);
    EXPECT_FALSE(text->IsWindowVisible());
    dlg.ShowWindow(SW_SHOW);
    EXPECT_TRUE(text->IsWindowVisible());

    CWnd* pic = dlg.GetDlgItem(IDC_PIC_5);
    const plat::Rect before = drv.Control(IDC_PIC_5).rect;
    pic->SetWindowPos(nullptr, 74, 230, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const plat::Rect after = drv.Control(IDC_PIC_5).rect;
    EXPECT_EQ(std::make_pair(after.left, after.top), std::make_pair(74, 230));
    EXPECT_EQ(std::make_pair(after.Width(), after.Height()),
              std::make_pair(before.Width(), before.Height()));
    pic->SetWindowPos(nullptr, 0, 0, 10, 20, SWP_NOZORDER | 0x0002 /* no move */);
    EXPECT_EQ(drv.Control(IDC_PIC_5).rect.left, 74);
    EXPECT_EQ(drv.Control(IDC_PIC_5).rect.Height(), 20);

    dlg.SetWindowTextA("New title");
    char small[4];
    EXPECT_EQ(dlg.GetWindowTextA(small, sizeof small), 3);
    EXPECT_STREQ(small, "New");
    EXPECT_EQ(dlg.GetWindowTextA(small, 0), 0);
    EXPECT_EQ(dlg.GetWindowTextA(nullptr, 10), 0);
    EXPECT_EQ(drv.Title(), "New title");
}

TEST(VirtualWindows, VisibilityReadsFromAnotherThreadWithoutLocks) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    // The reader walks the controls and reads visibility while this thread
    // (the UI thread) flips it; run under the thread sanitizer this proves
    // the two never race.
    std::atomic<bool> stop{false};
    std::atomic<int> seenShown{0};
    std::atomic<int> seenHidden{0};
    std::thread reader([&] {
        while (!stop) {
            const BOOL visible = dlg.GetDlgItem(IDC_STEP_UP)->IsWindowVisible();
            (visible ? seenShown : seenHidden)++;
        }
    });
    CWnd* text = dlg.GetDlgItem(IDC_STEP_UP);
    const bool both = desk.WaitUntil(
        [&] {
            text->ShowWindow(text->IsWindowVisible() ? SW_HIDE : SW_SHOWNORMAL);
            return seenShown > 0 && seenHidden > 0;
        },
        kLimit);
    stop = true;
    reader.join();
    EXPECT_TRUE(both) << "shown " << seenShown << ", hidden " << seenHidden;
}

TEST(VirtualWindows, NoWindowMeansFailuresNotCrashes) {
    Desktop desk;
    CWnd none;
    char buffer[8] = "x";
    plat::Rect r{1, 2, 3, 4};
    EXPECT_EQ(none.GetDlgItem(IDC_PIC_1), nullptr);
    EXPECT_FALSE(none.ShowWindow(SW_SHOW));
    EXPECT_FALSE(none.IsWindowVisible());
    EXPECT_FALSE(none.SetWindowPos(nullptr, 1, 2, 0, 0, 5));
    EXPECT_EQ(none.GetWindowTextA(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(none.SetTimer(1, 500), 0u);
    EXPECT_FALSE(none.PostMessageA(WM_CLOSE));
    none.GetClientRect(&r);
    EXPECT_EQ(r.Width() + r.Height(), 0);
    CDialog unknown(4711);
    EXPECT_EQ(unknown.DoModal(), -1);
    DialogDriver drv(unknown);
    EXPECT_FALSE(drv.Open());
    EXPECT_FALSE(drv.PostClose());
    EXPECT_TRUE(drv.Controls().empty());
}

TEST(MessageBoxes, AnsweredByTheResponderAndRecorded) {
    Desktop desk;
    ProbeDialog dlg;
    dlg.boxInInit = true;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());

    EXPECT_EQ(dlg.MessageBoxA("default", "Cap", MB_OK), IDOK) << "the default responder";
    Answers answers;
    desk.SetResponder(&answers);
    EXPECT_EQ(dlg.MessageBoxA("asked", "Cap2", MB_ICONHAND), IDCANCEL);
    desk.SetResponder(nullptr);
    CWnd none;
    none.MessageBoxA("ownerless");

    const auto boxes = desk.MessageBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    struct Expect {
        const char* text;
        const char* caption;
        UINT type;
        bool ownerVisible;
        int answer;
    };
    const Expect expected[] = {{"from init", "Probe", MB_ICONINFORMATION, false, IDOK},
                               {"default", "Cap", MB_OK, true, IDOK},
                               {"asked", "Cap2", MB_ICONHAND, true, IDCANCEL},
                               {"ownerless", "Error", MB_OK, false, IDOK}};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].call.text, expected[i].text) << i;
        EXPECT_EQ(boxes[i].call.caption, expected[i].caption) << i;
        EXPECT_EQ(boxes[i].call.type, expected[i].type) << i;
        EXPECT_EQ(boxes[i].call.ownerVisible, expected[i].ownerVisible) << i;
        EXPECT_EQ(boxes[i].answer, expected[i].answer) << i;
    }
    EXPECT_EQ(boxes[1].call.owner, dlg.m_hWnd);
    EXPECT_EQ(boxes[3].call.owner, nullptr);
    EXPECT_EQ(answers.texts, std::vector<std::string>{"asked"});
    // The box in OnInitDialog came before the dialog was shown.
    const auto journal = desk.Journal();
    const auto box = std::find(journal.begin(), journal.end(), "MessageBox 64 Probe: from init");
    const auto shown = std::find(journal.begin(), journal.end(), "ShowDialog");
    EXPECT_LT(box, shown);
}

TEST(FileDialogs, CancelledByDefaultConfirmedByAResponder) {
    Desktop desk;
    CFileDialog first(FALSE, "*.txt", "a.txt", 0x802, "Text files (*.txt)|*.txt||");
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(first.GetPathName(), "");

    Answers answers;
    answers.chosen = "dir/chosen.txt";
    desk.SetResponder(&answers);
    CFileDialog second(FALSE, "*.txt", "b.txt", 0x802, "Text files (*.txt)|*.txt||");
    EXPECT_EQ(second.DoModal(), IDOK);
    EXPECT_EQ(second.GetPathName(), "dir/chosen.txt");
    desk.SetResponder(nullptr);

    const auto files = desk.FileDialogs();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_FALSE(files[0].confirmed);
    EXPECT_TRUE(files[1].confirmed);
    EXPECT_EQ(files[1].path, "dir/chosen.txt");
    EXPECT_FALSE(files[1].call.open);
    EXPECT_EQ(files[1].call.defaultExt, "*.txt");
    EXPECT_EQ(files[1].call.fileName, "b.txt");
    EXPECT_EQ(files[1].call.flags, 0x802u);
    EXPECT_EQ(files[1].call.filter, "Text files (*.txt)|*.txt||");
}

TEST(Keyboard, DialogKeysEndTheDialogUnlessTakenFirst) {
    struct Case {
        const char* what;
        UINT key;
        bool swallow;
        bool ends;
        INT_PTR result;
    };
    const Case cases[] = {
        {"Enter", VK_RETURN, false, true, IDOK},    {"Escape", VK_ESCAPE, false, true, IDCANCEL},
        {"Space", VK_SPACE, false, false, 0},       {"Tab", VK_TAB, false, false, 0},
        {"Enter taken", VK_RETURN, true, false, 0}, {"Escape taken", VK_ESCAPE, true, false, 0},
    };
    for (const Case& c : cases) {
        Desktop desk;
        ProbeDialog dlg;
        dlg.swallowKeys = c.swallow;
        DialogDriver drv(dlg);
        ASSERT_TRUE(drv.Open());
        ASSERT_TRUE(drv.PostKey(c.key));
        drv.PumpAll();
        EXPECT_EQ(drv.Ended(), c.ends) << c.what;
        if (c.ends) {
            EXPECT_EQ(drv.Result(), c.result) << c.what;
            EXPECT_FALSE(drv.Exists()) << c.what << ": the window goes with the end";
            EXPECT_FALSE(dlg.GetDlgItem(IDC_STEP_PLUG)->IsWindowVisible()) << c.what;
        }
        EXPECT_EQ(dlg.seen.front(), static_cast<UINT>(WM_KEYDOWN)) << c.what;
    }
}

TEST(Keyboard, KeyMessagesCarryRepeatAndReleaseBits) {
    Desktop desk;
    struct Capture : ProbeDialog {
        BOOL PreTranslateMessage(plat::Message* msg) override {
            params.push_back(msg->lParam);
            return ProbeDialog::PreTranslateMessage(msg);
        }
        std::vector<LPARAM> params;
    } dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    drv.PostKeyDown(VK_SPACE);
    drv.PostKeyDown(VK_SPACE);
    drv.PostKeyUp(VK_SPACE);
    drv.PumpAll();
    EXPECT_EQ(dlg.params, (std::vector<LPARAM>{1, 1 | (LPARAM{1} << 30),
                                               1 | (LPARAM{1} << 30) | (LPARAM{1} << 31)}));
}

TEST(Closing, CloseGoesToTheHandlerThenEndsWithCancel) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    ASSERT_TRUE(drv.PostClose());
    EXPECT_EQ(drv.PumpAll(), 1);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_TRUE(drv.Ended());
    EXPECT_EQ(drv.Result(), IDCANCEL);
    EXPECT_FALSE(drv.PostClose()) << "no window any more";
    const auto journal = desk.Journal();
    EXPECT_EQ(Matching(journal, "EndDialog"), std::vector<std::string>{"EndDialog 2"});
    EXPECT_EQ(journal.back(), "DestroyDialog");
}

TEST(Timers, ManualClockDeliversOneTickPerDueTimer) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    EXPECT_EQ(dlg.SetTimer(1, 500), 1u);

    struct Step {
        std::uint32_t advance;
        std::size_t ticksAfter;
    };
    // 499: not yet; 1: due; 1500: one tick, not three (ticks never pile up).
    const Step steps[] = {{0, 0}, {499, 0}, {1, 1}, {100, 1}, {1500, 2}, {499, 2}, {1, 3}};
    for (const Step& s : steps) {
        desk.AdvanceClock(s.advance);
        drv.PumpAll();
        EXPECT_EQ(dlg.ticks.size(), s.ticksAfter) << "after advancing " << s.advance;
    }
    // Queued messages go before a due timer.
    desk.AdvanceClock(500);
    drv.PostKeyDown(VK_SPACE);
    dlg.seen.clear();
    drv.PumpAll();
    EXPECT_EQ(dlg.seen, (std::vector<UINT>{WM_KEYDOWN, WM_TIMER}));

    EXPECT_TRUE(dlg.KillTimer(1));
    EXPECT_FALSE(dlg.KillTimer(1));
    desk.AdvanceClock(5000);
    EXPECT_EQ(drv.PumpAll(), 0);

    // A timer ends with its window.
    dlg.SetTimer(1, 500);
    drv.Close();
    desk.AdvanceClock(5000);
    EXPECT_EQ(drv.PumpAll(), 0);
    EXPECT_EQ(dlg.ticks, (std::vector<UINT_PTR>{1, 1, 1, 1}));
}

TEST(ModalLoop, IdleHookDrivesTheDialog) {
    Desktop desk;
    ProbeDialog dlg;
    DialogDriver drv(dlg);
    int idle = 0;
    desk.SetIdleHook([&] {
        ++idle;
        if (idle == 1) {
            dlg.SetTimer(7, 100);
            desk.AdvanceClock(100);
        } else if (idle == 2) {
            drv.PostKeyDown(VK_ESCAPE);
        }
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.ticks, std::vector<UINT_PTR>{7});
    EXPECT_EQ(idle, 2);
    EXPECT_FALSE(drv.Exists());
}

TEST(ModalLoop, DrivenFromAnotherThread) {
    Desktop desk(Clock::kReal);
    ProbeDialog dlg;
    dlg.timerInInit = 20;
    DialogDriver drv(dlg);
    INT_PTR result = 0;
    std::thread ui([&] { result = dlg.DoModal(); });
    ASSERT_TRUE(desk.WaitUntil([&] { return drv.Visible(); }, kLimit));
    // Real-time ticks wake the waiting loop on their own.
    EXPECT_TRUE(desk.WaitUntil([&] { return dlg.tickCount >= 2; }, kLimit));
    ASSERT_TRUE(drv.PostKey(VK_TAB));
    ASSERT_TRUE(drv.PostClose());
    ui.join();
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.closes, 1);
}
