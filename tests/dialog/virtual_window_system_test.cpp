// The virtual window system's own arithmetic and guards, and a plain dialog
// from the main template run modally on one thread while another reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/virtual_window_system.h"
#include "ui/resource.h"

using plat::vws::Desktop;
using plat::vws::DialogDriver;

TEST(DialogUnits, ConvertLikeMapDialogRect) {
    // x * 6 / 4 and y * 13 / 8, halves rounded away from zero.
    const int cases[][3] = {{0, 0, 0},       {1, 2, 2},       {3, 5, 5},       {4, 6, 7},
                            {209, 314, 340}, {244, 366, 397}, {306, 459, 497}, {-3, -5, -5}};
    for (const auto& c : cases) {
        EXPECT_EQ(plat::vws::DialogUnitsToPixelsX(c[0]), c[1]) << "x of " << c[0];
        EXPECT_EQ(plat::vws::DialogUnitsToPixelsY(c[0]), c[2]) << "y of " << c[0];
    }
}

TEST(BitmapSize, ReadsHeadersAndRefusesDamagedOnes) {
    // A file header and an info (40) or core (12) header, cut to `size` bytes.
    auto bmp = [](std::uint32_t info, std::int32_t w, std::int32_t h, std::size_t size,
                  char magic = 'B') {
        std::vector<std::uint8_t> b(60, 0);
        b[0] = magic, b[1] = 'M', b[14] = info;
        const int n = info == 12 ? 2 : 4;  // a core header holds 16-bit sizes
        for (int i = 0; i < n; ++i) b[18 + i] = w >> (8 * i), b[18 + n + i] = h >> (8 * i);
        b.resize(size);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int w, h;  // 0, 0: refused
    } cases[] = {
        {"info header", bmp(40, 175, 204, 60), 175, 204},
        {"top-down", bmp(40, 196, -204, 60), 196, 204},
        {"core header", bmp(12, 16, 8, 40), 16, 8},
        {"no signature", bmp(40, 10, 10, 60, 'X'), 0, 0},
        {"huge", bmp(40, 0x10000, 10, 60), 0, 0},
        {"lowest height", bmp(40, 10, INT32_MIN, 60), 0, 0},
        {"truncated", bmp(40, 10, 10, 20), 0, 0},
        {"empty", {}, 0, 0},
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        const bool ok = plat::vws::BitmapSize({c.bytes.data(), c.bytes.size()}, &w, &h);
        EXPECT_EQ(ok ? std::make_pair(w, h) : std::make_pair(0, 0), std::make_pair(c.w, c.h))
            << c.what;
    }
}

TEST(VirtualWindows, NoWindowOrNoRoomMeansFailuresNotCrashes) {
    Desktop desk;
    CWnd none;
    char text[4] = "x";
    EXPECT_EQ(none.GetDlgItem(IDC_PIC_1), nullptr);
    EXPECT_FALSE(none.ShowWindow(SW_SHOW) || none.IsWindowVisible() || none.PostMessageA(WM_CLOSE));
    EXPECT_EQ(none.SetTimer(1, 500), 0u);
    EXPECT_EQ(none.GetWindowTextA(text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(CDialog(4711).DoModal(), -1) << "no such template";

    CDialog dlg(IDD_MAIN);
    DialogDriver drv(dlg);
    ASSERT_TRUE(drv.Open());
    dlg.SetWindowTextA("New title");
    EXPECT_EQ(dlg.GetWindowTextA(text, sizeof text), 3);
    EXPECT_STREQ(text, "New");
    EXPECT_EQ(dlg.GetWindowTextA(text, 0) + dlg.GetWindowTextA(nullptr, 10), 0);
}

TEST(ModalLoop, RunsOnOneThreadWhileAnotherReadsAndPosts) {
    Desktop desk(plat::vws::Clock::kReal);
    CDialog dlg(IDD_MAIN);
    DialogDriver drv(dlg);
    // The UI thread flips a text's visibility each time a real-time tick
    // wakes its loop; this thread reads it without a lock (the thread
    // sanitizer would see any race) and finally closes the dialog.
    desk.SetIdleHook([&] {
        if (CWnd* text = dlg.GetDlgItem(IDC_STEP_UP)) {
            dlg.SetTimer(3, 5);
            text->ShowWindow(text->IsWindowVisible() ? SW_HIDE : SW_SHOWNORMAL);
        }
    });
    INT_PTR result = 0;
    std::thread ui([&] { result = dlg.DoModal(); });
    int shown = 0, hidden = 0;
    const bool both = desk.WaitUntil(
        [&] {
            CWnd* text = drv.Visible() ? dlg.GetDlgItem(IDC_STEP_UP) : nullptr;
            if (text != nullptr) (text->IsWindowVisible() ? shown : hidden)++;
            return shown > 0 && hidden > 0;
        },
        std::chrono::seconds(30));
    EXPECT_TRUE(drv.PostClose());
    ui.join();
    EXPECT_TRUE(both) << "shown " << shown << ", hidden " << hidden;
    EXPECT_EQ(result, IDCANCEL);
}

TEST(DialogDriver, QueriesFromAnotherThreadNeverReadAFreedWindow) {
    // A front-end thread asks about the dialog while the dialog's thread
    // destroys it. The flag that puts each query first is relaxed on purpose:
    // only the window system's lock may order a query before the windows are
    // freed, so the thread sanitizer flags any query that reads a window
    // outside that lock, however the threads are scheduled. The sanitizer
    // may drop the record of one read, hence the rounds.
    struct Query {
        const char* name;
        bool (*saw)(const DialogDriver&);
    };
    const Query queries[] = {
        {"Visible", [](const DialogDriver& d) { return d.Visible(); }},
        {"Exists", [](const DialogDriver& d) { return d.Exists(); }},
        {"Title", [](const DialogDriver& d) { return !d.Title().empty(); }},
        {"Controls", [](const DialogDriver& d) { return !d.Controls().empty(); }},
    };
    constexpr int kRounds = 64;
    Desktop desk;
    for (const Query& query : queries) {
        for (int round = 0; round < kRounds; ++round) {
            auto dlg = std::make_unique<CDialog>(IDD_MAIN);
            DialogDriver drv(*dlg);
            ASSERT_TRUE(drv.Open());
            std::atomic<bool> asked{false};
            bool saw = false;
            std::thread frontEnd([&] {
                saw = query.saw(drv);
                asked.store(true, std::memory_order_relaxed);
            });
            while (!asked.load(std::memory_order_relaxed)) std::this_thread::yield();
            dlg.reset();
            frontEnd.join();
            ASSERT_TRUE(saw) << query.name << " before the dialog went";
            ASSERT_FALSE(query.saw(drv)) << query.name << " after the dialog went";
        }
    }
}
