// The link and its reader: what opening sets up and reports, what every
// report publishes, and how the reader stops and backs off.
#include <future>
#include <thread>

#include "tests/device/device_fixture.h"

namespace {

using devtest::kLimit;
using devtest::Stick;

class LinkTest : public devtest::DeviceTest {};

TEST_F(LinkTest, AxesStartAtTheirOpeningValuesAndEveryReportPublishesBytes8To11) {
    std::atomic<std::uint16_t>* fields[] = {&dlg_.m_nCurX,    &dlg_.m_nCurY, &dlg_.m_nCenterX,
                                            &dlg_.m_nCenterY, &dlg_.m_nUpY,  &dlg_.m_nRightX,
                                            &dlg_.m_nDownY,   &dlg_.m_nLeftX};
    for (auto* field : fields) *field = 0x5555;
    sim::VirtualStick& stick = Attach(Stick());
    std::vector<std::uint16_t> values;
    for (auto* field : fields) values.push_back(field->load());
    // CurX, CurY, CenterX, CenterY, UpY, RightX, DownY, LeftX
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0, 0, 0, 0, 0xFFFF, 0, 0, 0xFFFF}));

    for (std::uint8_t id : {1, 2, 0, 7, 0xFF}) {
        std::vector<std::uint8_t> report(64, 0);
        report[0] = id;
        report[8] = 0x34, report[9] = 0x12, report[10] = 0xCD, report[11] = 0xAB;
        dlg_.m_nCurX = dlg_.m_nCurY = 0;
        stick.SendRawReport(report);
        EXPECT_TRUE(Eventually([&] { return dlg_.m_nCurX == 0x1234 && dlg_.m_nCurY == 0xABCD; }))
            << "id " << int{id} << ": got X " << std::hex << dlg_.m_nCurX << " Y " << dlg_.m_nCurY;
    }
}

// Without preparsed data the caps query is not made, and counts as failed;
// the reader starts all the same, on the lengths of the last link.
TEST_F(LinkTest, FailedQueriesShowTheirMessagesAndTheOpenGoesOn) {
    for (const bool all : {false, true}) {
        dlg_.m_Caps.InputReportByteLength = 13;
        Attach(Stick(20, 9), {.attributesFail = all, .preparsedDataFail = true, .capsFail = all});
        std::vector<std::string> boxes = {"Fail on HidD_GetPreparsedData!",
                                          "Fail on HidP_GetCaps!"};
        if (all) boxes.insert(boxes.begin(), "Fail on HidD_GetAttributes!");
        EXPECT_EQ(BoxTexts(), boxes);
        EXPECT_EQ(dlg_.m_nInBufLen.load(), 13u);
        EXPECT_NE(dlg_.m_hReaderThread.load(), nullptr);
        EXPECT_EQ(driver_->LivePreparsedData(), 0u);
    }
}

// The reader sees the stop while it waits for a report, and while it backs
// off after reads that fail (the stick pulled) or complete at once (dropped):
// then it keeps trying, and keeps the axes it had.
TEST_F(LinkTest, StopEndsTheReaderWaitingOrRetrying) {
    for (const std::string what : {"waiting", "pulled", "reads complete at once"}) {
        const bool waiting = what == "waiting", atOnce = what == "reads complete at once";
        sim::VirtualStick& stick = Attach(Stick(16), {.readsCompleteAtOnce = atOnce});
        stick.SetAxes(0x1111, 0x2222);
        stick.SendReport();
        ASSERT_TRUE(atOnce || Eventually([&] { return dlg_.m_nCurX == 0x1111; })) << what;
        if (what == "pulled") stick.Unplug();
        const std::uint64_t before = stick.ReadsStarted();
        EXPECT_TRUE(waiting ? stick.WaitForPendingReads(1, kLimit) : Eventually([&] {
            return stick.ReadsStarted() >= before + 5;
        })) << what;
        EXPECT_EQ(dlg_.m_nCurY.load(), atOnce ? 0 : 0x2222) << what;
        plat::SetEvent(dlg_.m_hStopEvent.load());
        ASSERT_EQ(plat::WaitForSingleObject(dlg_.m_hReaderThread.load(), 20000), plat::kWaitObject0)
            << what;
        EXPECT_EQ(dlg_.m_hStopEvent.load(), nullptr) << what << ": stop event left open";
        EXPECT_EQ(stick.PendingReads(), 0u) << what << ": its pending read must be cancelled";
        // A report now would land in the freed receive buffer had the read
        // been left pending (the sanitizer build catches that).
        stick.SendReport();
        dlg_.CloseLink();
        EXPECT_EQ(stick.OpenHandles(), 0u) << what;
    }
}

// A close that meets the reader parked for a transfer: the reader answers
// the stop there too, so the close neither hangs nor frees what it uses.
TEST_F(LinkTest, CloseEndsAParkedReader) {
    sim::VirtualStick& stick = Attach(Stick(16, 64, 200));
    dlg_.m_bPauseReader = 1;
    ASSERT_TRUE(Eventually([&] { return dlg_.m_bReaderPaused.load() != 0; }));
    std::promise<void> closed;
    std::thread closer([&] {
        dlg_.CloseLink();
        closed.set_value();
    });
    const bool returned = closed.get_future().wait_for(kLimit) == std::future_status::ready;
    EXPECT_TRUE(returned) << "the close waits for a reader that never looks at the stop";
    dlg_.m_bPauseReader = 0;  // lets a reader that did not answer go after all
    closer.join();
    EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_EQ(dlg_.m_bReaderPaused.load(), 0u) << "a gone reader is not parked";
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

TEST_F(LinkTest, ShortAndHugeInputReportsStayInsideTheBuffers) {
    for (std::uint32_t length : {0u, 1u, 5u, 8u, 9u, 10u, 11u, 12u, 65535u}) {
        sim::VirtualStick& stick = Attach(Stick(static_cast<std::uint16_t>(length)));
        ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit)) << "length " << length;
        stick.SendRawReport(std::vector<std::uint8_t>(length, 0x77));
        // The report has been handled once the reader reads again.
        ASSERT_TRUE(Eventually([&] { return stick.ReportsConsumed() == 1; }));
        ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit)) << "length " << length;
        const std::uint16_t expected = length >= 12 ? 0x7777 : 0;
        EXPECT_EQ(dlg_.m_nCurX.load(), expected) << "length " << length;
        EXPECT_EQ(dlg_.m_nCurY.load(), expected) << "length " << length;
        if (length > 0) {
            EXPECT_EQ(dlg_.m_pInBuf.load()[length - 1], 0x77) << "length " << length;
        }
    }
}

}  // namespace
