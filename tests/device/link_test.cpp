// The link and its reader: what opening sets up and reports, what every
// report publishes, and how the reader stops, backs off and parks.
#include "tests/device/device_fixture.h"

namespace {

using devtest::DeviceTest;
using devtest::kLimit;
using devtest::Stick;

std::vector<std::uint8_t> AxisBytes(std::size_t length, std::uint8_t id, std::uint16_t x,
                                    std::uint16_t y) {
    std::vector<std::uint8_t> r(length, 0);
    r[0] = id;
    r[8] = static_cast<std::uint8_t>(x);
    r[9] = static_cast<std::uint8_t>(x >> 8);
    r[10] = static_cast<std::uint8_t>(y);
    r[11] = static_cast<std::uint8_t>(y >> 8);
    return r;
}

class LinkTest : public DeviceTest {};

TEST_F(LinkTest, EveryReportPublishesBytes8To11WhateverItsId) {
    sim::VirtualStick& stick = driver_.AddStick(Stick(64));
    OpenOn();
    ASSERT_NE(dlg_.m_hReaderThread.load(), nullptr);
    struct Case {
        std::uint8_t id;
        std::uint16_t x, y;
    } cases[] = {{1, 0x1234, 0xABCD},
                 {2, 0x0001, 0xFFFF},
                 {0, 0xFF00, 0x00FF},
                 {7, 0x8000, 0x7F80},
                 {0xFF, 0x1234, 0xABCD}};
    for (const Case& c : cases) {
        stick.SendRawReport(AxisBytes(64, c.id, c.x, c.y));
        EXPECT_TRUE(Eventually([&] { return dlg_.m_nCurX == c.x && dlg_.m_nCurY == c.y; }))
            << "id " << int{c.id} << ": got X " << std::hex << dlg_.m_nCurX << " Y " << dlg_.m_nCurY
            << ", expected " << c.x << " " << c.y;
    }
    // The whole report lands in m_pInBuf.
    EXPECT_EQ(dlg_.m_pInBuf.load()[0], 0xFF);
    EXPECT_EQ(dlg_.m_nInBufLen.load(), 64u);
}

TEST_F(LinkTest, AxisFieldsHoldTheirOpeningValuesBeforeAnyReport) {
    driver_.AddStick(Stick());
    for (auto* field : {&dlg_.m_nCurX, &dlg_.m_nCurY, &dlg_.m_nCenterX, &dlg_.m_nCenterY,
                        &dlg_.m_nUpY, &dlg_.m_nRightX, &dlg_.m_nDownY, &dlg_.m_nLeftX}) {
        *field = 0x5555;
    }
    OpenOn();
    EXPECT_EQ(dlg_.m_nCurX.load(), 0);
    EXPECT_EQ(dlg_.m_nCurY.load(), 0);
    EXPECT_EQ(dlg_.m_nCenterX.load(), 0);
    EXPECT_EQ(dlg_.m_nCenterY.load(), 0);
    EXPECT_EQ(dlg_.m_nUpY.load(), 0xFFFF);
    EXPECT_EQ(dlg_.m_nRightX.load(), 0);
    EXPECT_EQ(dlg_.m_nDownY.load(), 0);
    EXPECT_EQ(dlg_.m_nLeftX.load(), 0xFFFF);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(LinkTest, EachFailedQueryShowsItsMessageAndTheOpenGoesOn) {
    struct Case {
        const char* what;
        sim::StickFaults faults;
        std::vector<std::string> boxes;
    };
    sim::StickFaults attributes, preparsed, caps, all;
    attributes.attributesFail = true;
    preparsed.preparsedDataFail = true;
    caps.capsFail = true;
    all.attributesFail = all.preparsedDataFail = all.capsFail = true;
    const Case cases[] = {
        {"attributes", attributes, {"Fail on HidD_GetAttributes!"}},
        // No preparsed data: the caps query is not made, and counts as failed.
        {"preparsed", preparsed, {"Fail on HidD_GetPreparsedData!", "Fail on HidP_GetCaps!"}},
        {"caps", caps, {"Fail on HidP_GetCaps!"}},
        {"all",
         all,
         {"Fail on HidD_GetAttributes!", "Fail on HidD_GetPreparsedData!",
          "Fail on HidP_GetCaps!"}},
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(20, 9));
        stick.SetFaults(c.faults);
        plat::InstallHid(&driver);
        desktop_.ClearRecords();
        // Caps from an earlier link stay when the query fails.
        dlg_.m_Caps = plat::HidCaps{};
        dlg_.m_Caps.InputReportByteLength = 13;
        OpenOn();
        EXPECT_EQ(BoxTexts(), c.boxes) << c.what;
        ExpectDebugBoxes();
        const bool capsRead = !c.faults.preparsedDataFail && !c.faults.capsFail;
        EXPECT_EQ(dlg_.m_Caps.InputReportByteLength, capsRead ? 20 : 13) << c.what;
        EXPECT_EQ(dlg_.m_nInBufLen.load(), capsRead ? 20u : 13u) << c.what;
        EXPECT_NE(dlg_.m_hReaderThread.load(), nullptr) << c.what << ": the reader starts anyway";
        EXPECT_EQ(driver.LivePreparsedData(), 0u) << c.what << ": preparsed data not freed";
        EXPECT_EQ(dlg_.m_pPreparsed, nullptr) << c.what;
        dlg_.CloseLink();
        EXPECT_EQ(stick.OpenHandles(), 0u) << c.what;
        plat::InstallHid(&driver_);
    }
}

TEST_F(LinkTest, CloseLinkWithoutALinkChangesNothing) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    EXPECT_EQ(dlg_.m_hDevice.load(), plat::InvalidHandle());
    dlg_.CloseLink();
    EXPECT_EQ(dlg_.m_hDevice.load(), plat::InvalidHandle());

    sim::StickFaults f;
    f.openFails = true;
    stick.SetFaults(f);
    OpenOn();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Fail on CreateFile!"});
    dlg_.CloseLink();
    EXPECT_EQ(dlg_.m_hDevice.load(), plat::InvalidHandle());

    stick.SetFaults(sim::StickFaults{});
    OpenOn();
    dlg_.CloseLink();
    dlg_.CloseLink();
    EXPECT_EQ(dlg_.m_hDevice.load(), nullptr);
    EXPECT_EQ(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_EQ(dlg_.m_nInBufLen.load(), 0u);
    EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_EQ(dlg_.m_hStopEvent.load(), nullptr);
    EXPECT_EQ(dlg_.m_hStoppedEvent.load(), nullptr);
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

TEST_F(LinkTest, OpenLinkWithAnEmptyPathOnlyClosesThePreviousLink) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    OpenOn();
    ASSERT_EQ(stick.OpenHandles(), 1u);
    dlg_.m_szDevicePath[0] = 0;
    dlg_.OpenLink();
    EXPECT_EQ(stick.OpenHandles(), 0u);
    EXPECT_EQ(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(LinkTest, StopWhileWaitingForAReportEndsTheReader) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    OpenOn();
    ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit));
    const plat::Handle stopped = dlg_.m_hStoppedEvent.load();
    plat::SetEvent(dlg_.m_hStopEvent.load());
    // No report comes; the reader must see the stop on its own.
    ASSERT_EQ(plat::WaitForSingleObject(stopped, 20000), plat::kWaitObject0);
    ASSERT_EQ(plat::WaitForSingleObject(dlg_.m_hReaderThread.load(), 20000), plat::kWaitObject0);
    EXPECT_EQ(dlg_.m_hStopEvent.load(), nullptr) << "the reader closes its stop event";
    EXPECT_EQ(stick.PendingReads(), 0u) << "its pending read must be cancelled";
    EXPECT_EQ(stick.OpenHandles(), 1u);
    // A report now would land in the freed receive buffer had the read
    // been left pending (the sanitizer build catches that).
    stick.SendReport();
    dlg_.CloseLink();
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

TEST_F(LinkTest, UnpluggedStickLeavesTheReaderRetryingUntilStopped) {
    sim::VirtualStick& stick = driver_.AddStick(Stick(16));
    OpenOn();
    stick.SetAxes(0x1111, 0x2222);
    stick.SendReport();
    ASSERT_TRUE(Eventually([&] { return dlg_.m_nCurX == 0x1111; }));
    ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit));

    const std::uint64_t before = stick.ReadsStarted();
    stick.Unplug();
    EXPECT_TRUE(Eventually([&] { return stick.ReadsStarted() >= before + 5; }))
        << "the reader must keep retrying after a failed read";
    EXPECT_EQ(dlg_.m_nCurX.load(), 0x1111) << "the axes keep their last values";
    EXPECT_EQ(dlg_.m_nCurY.load(), 0x2222);

    const plat::Handle stopped = dlg_.m_hStoppedEvent.load();
    plat::SetEvent(dlg_.m_hStopEvent.load());
    EXPECT_EQ(plat::WaitForSingleObject(stopped, 20000), plat::kWaitObject0)
        << "the back-off must watch the stop event";
    dlg_.CloseLink();
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

TEST_F(LinkTest, ReadsThatCompleteAtOnceAreDropped) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    sim::StickFaults f;
    f.readsCompleteAtOnce = true;
    stick.SetFaults(f);
    OpenOn();
    stick.SetAxes(0x4242, 0x4242);
    stick.SendReport();
    ASSERT_TRUE(Eventually([&] { return stick.ReportsConsumed() == 1; }));
    ASSERT_TRUE(Eventually([&] { return stick.ReadsStarted() >= 5; }));
    EXPECT_EQ(dlg_.m_nCurX.load(), 0);
    EXPECT_EQ(dlg_.m_nCurY.load(), 0);
}

TEST_F(LinkTest, ShortAndHugeInputReportsStayInsideTheBuffers) {
    for (std::uint32_t length : {0u, 1u, 5u, 8u, 9u, 10u, 11u, 12u, 65535u}) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(static_cast<std::uint16_t>(length)));
        plat::InstallHid(&driver);
        dlg_.m_nCurX = 0x0123;
        OpenOn();
        ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit)) << "length " << length;
        std::vector<std::uint8_t> report(length, 0x77);
        stick.SendRawReport(report);
        ASSERT_TRUE(Eventually([&] { return stick.ReportsConsumed() == 1; }));
        ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit)) << "length " << length;
        // The report has been handled once the reader reads again.
        const std::uint16_t expected = length >= 12 ? 0x7777 : 0;
        EXPECT_EQ(dlg_.m_nCurX.load(), expected) << "length " << length;
        EXPECT_EQ(dlg_.m_nCurY.load(), expected) << "length " << length;
        if (length > 0) {
            EXPECT_EQ(dlg_.m_pInBuf.load()[length - 1], 0x77) << "length " << length;
        }
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

TEST_F(LinkTest, ParkedReaderIssuesNoReadsUntilReleased) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    OpenOn();
    ASSERT_TRUE(stick.WaitForPendingReads(1, kLimit));
    dlg_.m_bPauseReader = 1;
    EXPECT_EQ(dlg_.m_bReaderPaused.load(), 0u) << "it parks only after its pending read";
    stick.SetAxes(0x1000, 0x1000);
    stick.SendReport();
    ASSERT_TRUE(Eventually([&] { return dlg_.m_bReaderPaused == 1; }));
    EXPECT_EQ(dlg_.m_nCurX.load(), 0x1000);
    stick.SetAxes(0x2000, 0x2000);
    stick.SendReport();
    EXPECT_EQ(stick.PendingReads(), 0u);
    EXPECT_EQ(stick.ReportsConsumed(), 1u) << "a parked reader must not read";

    dlg_.m_bPauseReader = 0;
    ASSERT_TRUE(Eventually([&] { return dlg_.m_nCurX == 0x2000; }));
    EXPECT_EQ(dlg_.m_bReaderPaused.load(), 0u);
}

}  // namespace
