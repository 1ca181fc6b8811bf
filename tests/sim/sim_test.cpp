// The virtual stick through the HID seam, for what the device tests do not
// already reach: the bounded report buffer, writes that carry more or less
// than a report holds, and unplugging with operations pending.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/virtual_stick.h"

namespace {

using plat::IoStart;

const char kPath[] = "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// One overlapped operation: its record with a manual-reset event, and a buffer.
struct Op {
    Op() { io.hEvent = plat::NewEvent(true); }
    ~Op() { plat::CloseHandle(io.hEvent); }
    bool Done(std::uint32_t limit = 10000) {
        return plat::WaitForSingleObject(io.hEvent, limit) == plat::kWaitObject0;
    }
    plat::IoRecord io{};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(64, 0xEE);
};

// Reports only when asked, so every test decides what arrives when.
sim::StickSettings Quiet(std::uint16_t out = 16) {
    return {.inputReportLength = 16, .outputReportLength = out, .reportsPerSecond = 0};
}

class SimTest : public ::testing::Test {
  protected:
    sim::SimHidDriver driver_;
    sim::VirtualStick& stick_ = driver_.AddStick(Quiet());
};

TEST_F(SimTest, ReportsWaitInABoundedBufferWhileNobodyReads) {
    stick_.SetSettings({.inputReportLength = 16, .reportsPerSecond = 0, .bufferedReports = 3});
    const plat::Handle h = driver_.Open(kPath);
    for (std::uint16_t x = 1; x <= 5; ++x) {
        stick_.SetAxes(x, 0);
        stick_.SendReport();
    }
    EXPECT_EQ(stick_.ReportsLost(), 2u);
    // The oldest went: 3, 4 and 5 remain, in order, each read as it starts.
    for (std::uint8_t x = 3; x <= 5; ++x) {
        Op op;
        ASSERT_EQ(driver_.Read(h, op.buffer.data(), 16, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Done(0));
        EXPECT_EQ(op.buffer[8], x);
    }
    driver_.Close(h);
}

// A stick that stores one address with its lowest bit flipped still
// completes the write whole: only its memory tells (the flip where the write
// wraps, and none outside it).
TEST_F(SimTest, WriteStoresWhatTheReportCarriesWrappingAt255) {
    const struct {
        std::uint16_t out;
        std::uint8_t address, count, stored;
        sim::StickFaults faults;
        int flipped;  // the address stored with its lowest bit flipped, or -1
    } cases[] = {
        {9, 110, 5, 5, {}, -1},
        {9, 110, 200, 5, {}, -1},
        {8, 254, 4, 4, {}, -1},
        {4, 110, 3, 0, {}, -1},
        {8, 254, 4, 4, {.flipBitAddress = 0}, 0},
        {9, 110, 5, 5, {.flipBitAddress = 115}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "row " << (&c - cases));
        stick_.SetSettings(Quiet(c.out));
        stick_.SetFaults(c.faults);
        const plat::Handle h = driver_.Open(kPath);
        std::vector<std::uint8_t> request = {1, sim::kCmdEepromWrite, c.address, c.count};
        for (std::uint8_t data = c.count; request.size() < c.out; ++data) request.push_back(data);
        sim::Eeprom expected = stick_.EepromContents();
        for (int i = 0; i < c.stored; ++i)
            expected[(c.address + i) & 0xFF] = std::uint8_t(c.count + i);
        if (c.flipped >= 0) expected[c.flipped] ^= 1;
        Op op;
        ASSERT_EQ(driver_.Write(h, request.data(), c.out, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Done());
        std::uint32_t n = 0;
        EXPECT_TRUE(driver_.GetResult(h, &op.io, &n) && n == c.out);
        EXPECT_EQ(stick_.EepromContents(), expected)
            << "output length " << c.out << ", count " << int{c.count} << " at " << int{c.address};
        driver_.Close(h);
    }
}

// A late reply holds back the replies to the requests after it, as a
// firmware answering one request after the other does.
TEST_F(SimTest, RepliesComeInTheOrderOfTheirRequests) {
    stick_.SetFaults({.lateReplies = 1, .lateReplyMs = 200});
    const plat::Handle h = driver_.Open(kPath);
    for (std::uint8_t address : {110, 200}) {
        std::vector<std::uint8_t> request = {1, sim::kCmdEepromRead, address, 0x80};
        request.resize(16);
        Op op;
        ASSERT_EQ(driver_.Write(h, request.data(), 16, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Done());
    }
    for (std::uint8_t address : {110, 200}) {
        Op op;
        ASSERT_EQ(driver_.Read(h, op.buffer.data(), 16, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Done());
        EXPECT_EQ(op.buffer[0], sim::kReportIdEepromData);
        EXPECT_EQ(op.buffer[2], address);
    }
    driver_.Close(h);
}

// Pulled while pushed to a corner, a stick is back at rest when plugged in.
TEST_F(SimTest, UnplugEndsWhatIsPendingAndPluggedInAgainTheStickIsCentred) {
    stick_.SetFaults({.writesNeverComplete = true});
    stick_.SetAxes(0x0000, 0xFFFF);
    const plat::Handle h = driver_.Open(kPath);
    Op read, write;
    ASSERT_EQ(driver_.Read(h, read.buffer.data(), 16, &read.io), IoStart::kPending);
    ASSERT_EQ(driver_.Write(h, write.buffer.data(), 16, &write.io), IoStart::kPending);
    stick_.Unplug();
    std::uint32_t n = 0;
    EXPECT_TRUE(read.Done(0) && !driver_.GetResult(h, &read.io, &n)) << "the read must fail";
    EXPECT_TRUE(write.Done(0) && !driver_.GetResult(h, &write.io, &n)) << "the write must fail";
    stick_.Plug();
    EXPECT_EQ(driver_.Read(h, read.buffer.data(), 16, &read.io), IoStart::kFailed)
        << "a handle from before the unplug stays dead";
    driver_.Close(h);

    const plat::Handle again = driver_.Open(kPath);
    Op centred;
    ASSERT_EQ(driver_.Read(again, centred.buffer.data(), 16, &centred.io), IoStart::kPending);
    stick_.SendReport();
    ASSERT_TRUE(centred.Done());
    EXPECT_EQ(std::vector<std::uint8_t>(centred.buffer.begin() + 8, centred.buffer.begin() + 12),
              (std::vector<std::uint8_t>{0x00, 0x80, 0x00, 0x80}));
    driver_.Close(again);
}

}  // namespace
