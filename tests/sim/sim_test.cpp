// The virtual stick through the HID seam, as the link and the transfers use
// it: opening, capabilities, input reports and their buffering, EEPROM
// requests and replies, the faults, unplugging, enumeration and the EEPROM
// file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sim/virtual_stick.h"

namespace {

using namespace std::chrono_literals;
using plat::IoStart;
using sim::StickFaults;
using sim::StickSettings;

constexpr auto kLimit = std::chrono::milliseconds(10000);  // only ever bounds a condition wait

const char kNarrowPath[] =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// One overlapped operation: its record, its manual-reset event and buffer.
struct Op {
    explicit Op(std::size_t size = 64) : buffer(size, 0xEE) {
        event = plat::NewEvent(true);
        io.Reset();
        io.hEvent = event;
    }
    ~Op() { plat::CloseHandle(event); }
    Op(const Op&) = delete;
    Op& operator=(const Op&) = delete;

    bool Wait() { return plat::WaitForSingleObject(event, 10000) == plat::kWaitObject0; }
    bool Signalled() { return plat::WaitForSingleObject(event, 0) == plat::kWaitObject0; }

    plat::IoRecord io;
    plat::Handle event;
    std::vector<std::uint8_t> buffer;
};

// Reports only when asked, so every test decides what arrives when.
StickSettings Quiet(std::uint16_t in = 64, std::uint16_t out = 64) {
    StickSettings s;
    s.reportsPerSecond = 0;
    s.inputReportLength = in;
    s.outputReportLength = out;
    s.replyLatencyMs = 1;
    return s;
}

std::vector<std::uint8_t> Command(std::size_t length, std::uint8_t cmd, std::uint8_t address,
                                  std::uint8_t count, const std::vector<std::uint8_t>& data = {}) {
    std::vector<std::uint8_t> r(length, 0);
    const std::uint8_t head[] = {1, cmd, address, count};
    for (std::size_t i = 0; i < 4 && i < length; ++i) r[i] = head[i];
    for (std::size_t i = 0; i < data.size() && 4 + i < length; ++i) r[4 + i] = data[i];
    return r;
}

class SimTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (device_ != nullptr && device_ != plat::InvalidHandle()) driver_.Close(device_);
    }

    sim::VirtualStick& AddAndOpen(const StickSettings& s = Quiet()) {
        sim::VirtualStick& stick = driver_.AddStick(s);
        device_ = driver_.Open(kNarrowPath);
        EXPECT_NE(device_, plat::InvalidHandle());
        return stick;
    }

    // Writes one whole report and waits for it to complete.
    std::uint32_t WriteAndWait(const std::vector<std::uint8_t>& report) {
        Op op;
        const IoStart s = driver_.Write(device_, report.data(),
                                        static_cast<std::uint32_t>(report.size()), &op.io);
        if (s == IoStart::kFailed) return 0xFFFFFFFFu;
        if (s == IoStart::kPending) {
            EXPECT_TRUE(op.Wait());
        }
        std::uint32_t n = 0;
        EXPECT_TRUE(driver_.GetResult(device_, &op.io, &n));
        return n;
    }

    // Reads one report; pending reads are waited for.
    std::uint32_t ReadAndWait(Op& op) {
        const IoStart s = driver_.Read(device_, op.buffer.data(),
                                       static_cast<std::uint32_t>(op.buffer.size()), &op.io);
        EXPECT_NE(s, IoStart::kFailed);
        EXPECT_TRUE(op.Wait());
        std::uint32_t n = 0;
        EXPECT_TRUE(driver_.GetResult(device_, &op.io, &n));
        return n;
    }

    sim::SimHidDriver driver_;
    plat::Handle device_ = nullptr;
};

TEST_F(SimTest, OpensOnlyItsOwnPathWhilePluggedAndWorking) {
    sim::VirtualStick& stick = driver_.AddStick(Quiet());
    std::string upper = kNarrowPath;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    struct Case {
        const char* what;
        std::string path;
        bool plugged;
        bool openFails;
        bool opens;
    } cases[] = {
        {"own path", kNarrowPath, true, false, true},
        {"own path, other case", upper, true, false, true},
        {"prefix only", std::string(kNarrowPath).substr(0, 20), true, false, false},
        {"longer", std::string(kNarrowPath) + "x", true, false, false},
        {"empty", "", true, false, false},
        {"unplugged", kNarrowPath, false, false, false},
        {"open fault", kNarrowPath, true, true, false},
    };
    for (const Case& c : cases) {
        if (c.plugged)
            stick.Plug();
        else
            stick.Unplug();
        StickFaults f;
        f.openFails = c.openFails;
        stick.SetFaults(f);
        plat::Handle h = driver_.Open(c.path.c_str());
        EXPECT_EQ(h != plat::InvalidHandle(), c.opens) << c.what;
        EXPECT_NE(h, nullptr) << c.what;
        if (h != plat::InvalidHandle()) {
            EXPECT_TRUE(driver_.Close(h)) << c.what;
            EXPECT_FALSE(driver_.Close(h)) << c.what << ": closed twice";
        }
    }
    EXPECT_EQ(driver_.Open(nullptr), plat::InvalidHandle());
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

TEST_F(SimTest, CapabilitiesAndAttributesFollowTheSettingsAndFaults) {
    StickSettings s = Quiet(12, 9);
    s.vidPid = 0x04020F3D;
    sim::VirtualStick& stick = AddAndOpen(s);

    plat::HidAttributes a;
    ASSERT_TRUE(driver_.GetAttributes(device_, &a));
    EXPECT_EQ(a.VendorID, 0x0F3D);
    EXPECT_EQ(a.ProductID, 0x0402);

    plat::PreparsedData p = nullptr;
    ASSERT_TRUE(driver_.GetPreparsedData(device_, &p));
    plat::HidCaps caps;
    ASSERT_TRUE(driver_.GetCaps(p, &caps));
    EXPECT_EQ(caps.InputReportByteLength, 12);
    EXPECT_EQ(caps.OutputReportByteLength, 9);
    EXPECT_EQ(driver_.LivePreparsedData(), 1u);
    driver_.FreePreparsedData(p);
    EXPECT_EQ(driver_.LivePreparsedData(), 0u);
    EXPECT_FALSE(driver_.GetCaps(p, &caps)) << "freed preparsed data must not be usable";
    EXPECT_FALSE(driver_.GetCaps(nullptr, &caps));
    EXPECT_FALSE(driver_.GetAttributes(plat::InvalidHandle(), &a));

    StickFaults f;
    f.attributesFail = true;
    f.preparsedDataFail = true;
    stick.SetFaults(f);
    EXPECT_FALSE(driver_.GetAttributes(device_, &a));
    EXPECT_FALSE(driver_.GetPreparsedData(device_, &p));

    f = StickFaults{};
    stick.SetFaults(f);
    ASSERT_TRUE(driver_.GetPreparsedData(device_, &p));
    f.capsFail = true;
    stick.SetFaults(f);
    caps = plat::HidCaps{};
    caps.InputReportByteLength = 77;
    EXPECT_FALSE(driver_.GetCaps(p, &caps));
    EXPECT_EQ(caps.InputReportByteLength, 77) << "caps must stay untouched on failure";
    driver_.FreePreparsedData(p);
}

TEST_F(SimTest, AxisReportCarriesXAndYLittleEndianAtBytes8To11) {
    sim::VirtualStick& stick = AddAndOpen();
    stick.SetAxes(0x1234, 0xABCD);
    Op op;
    ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 64, &op.io), IoStart::kPending);
    std::uint32_t n = 0;
    EXPECT_FALSE(driver_.GetResult(device_, &op.io, &n)) << "nothing sent yet";
    EXPECT_FALSE(op.Signalled());
    stick.SendReport();
    ASSERT_TRUE(op.Wait());
    ASSERT_TRUE(driver_.GetResult(device_, &op.io, &n));
    EXPECT_EQ(n, 64u);
    const std::vector<std::uint8_t> expect = {1, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0xCD, 0xAB, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(op.buffer.begin(), op.buffer.begin() + 13), expect);
    EXPECT_EQ(stick.ReportsSent(), 1u);
    EXPECT_EQ(stick.ReportsConsumed(), 1u);
}

TEST_F(SimTest, ReportsWaitInABoundedBufferWhileNobodyReads) {
    StickSettings s = Quiet(16, 16);
    s.bufferedReports = 3;
    sim::VirtualStick& stick = AddAndOpen(s);
    for (std::uint16_t x = 1; x <= 5; ++x) {
        stick.SetAxes(x, 0);
        stick.SendReport();
    }
    EXPECT_EQ(stick.ReportsLost(), 2u);
    // The oldest were dropped: 3, 4, 5 remain, in order, and a read of a
    // buffered report is complete when Read returns.
    for (std::uint8_t x = 3; x <= 5; ++x) {
        Op op(16);
        ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 16, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Signalled());
        std::uint32_t n = 0;
        ASSERT_TRUE(driver_.GetResult(device_, &op.io, &n));
        EXPECT_EQ(op.buffer[8], x);
    }
    EXPECT_EQ(stick.ReportsConsumed(), 3u);
}

TEST_F(SimTest, RawAndShortReportsDeliverOnlyTheirBytes) {
    sim::VirtualStick& stick = AddAndOpen(Quiet(16, 16));
    Op a(16);
    stick.SendRawReport({7, 1, 2});
    EXPECT_EQ(ReadAndWait(a), 3u);
    EXPECT_EQ(a.buffer[0], 7);
    EXPECT_EQ(a.buffer[3], 0xEE) << "bytes past the report must stay untouched";

    StickFaults f;
    f.shortReportLength = 5;
    stick.SetFaults(f);
    Op b(16);
    stick.SendReport();
    EXPECT_EQ(ReadAndWait(b), 5u);
    EXPECT_EQ(b.buffer[5], 0xEE);
}

TEST_F(SimTest, ReadsShorterThanAReportFailAtOnce) {
    AddAndOpen(Quiet(16, 16));
    Op op(16);
    EXPECT_EQ(driver_.Read(device_, op.buffer.data(), 15, &op.io), IoStart::kFailed);
    EXPECT_EQ(driver_.Read(plat::InvalidHandle(), op.buffer.data(), 16, &op.io), IoStart::kFailed);
    EXPECT_EQ(driver_.Read(nullptr, op.buffer.data(), 16, &op.io), IoStart::kFailed);
}

TEST_F(SimTest, ReadRequestIsAnsweredWithEepromDataInReport2) {
    struct Case {
        std::uint16_t inLength;
        std::uint8_t address;
        std::uint32_t dataBytes;
    } cases[] = {
        {64, 110, 60}, {12, 110, 8}, {12, 126, 8}, {9, 110, 5},
        {5, 110, 1},   {4, 110, 0},  {2, 110, 0},  {64, 250, 60},  // wraps to address 0
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Quiet(c.inLength, 8));
        sim::Eeprom e;
        for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(i ^ 0x5A);
        stick.SetEeprom(e);
        plat::Handle h = driver.Open(kNarrowPath);
        Op read(c.inLength);
        ASSERT_EQ(driver.Read(h, read.buffer.data(), c.inLength, &read.io), IoStart::kPending);
        const auto req = Command(8, sim::kCmdEepromRead, c.address, 0x80);
        Op write;
        const IoStart s = driver.Write(h, req.data(), 8, &write.io);
        ASSERT_EQ(s, IoStart::kPending);
        ASSERT_TRUE(write.Wait());
        ASSERT_TRUE(read.Wait()) << "no reply for input length " << c.inLength;
        std::uint32_t n = 0;
        ASSERT_TRUE(driver.GetResult(h, &read.io, &n));
        EXPECT_EQ(n, c.inLength);
        if (c.inLength > 0) {
            EXPECT_EQ(read.buffer[0], 2);
        }
        if (c.inLength > 2) {
            EXPECT_EQ(read.buffer[2], c.address);
        }
        for (std::uint32_t i = 0; i < c.dataBytes; ++i) {
            ASSERT_EQ(read.buffer[4 + i], e[(c.address + i) & 0xFF])
                << "length " << c.inLength << " data byte " << i;
        }
        ASSERT_EQ(stick.Requests().size(), 1u);
        EXPECT_EQ(stick.Requests()[0].command, sim::kCmdEepromRead);
        EXPECT_EQ(stick.Requests()[0].address, c.address);
        EXPECT_EQ(stick.Requests()[0].count, 0x80);
        EXPECT_EQ(stick.Requests()[0].length, 8u);
        driver.Close(h);
    }
}

TEST_F(SimTest, WriteRequestStoresItsCountOfBytesWrappingAt255) {
    struct Case {
        std::uint16_t outLength;
        std::uint8_t address;
        std::uint8_t count;
        std::size_t stored;  // bytes that fit the report
    } cases[] = {
        {9, 110, 5, 5},    {12, 126, 2, 2},
        {22, 110, 18, 18}, {9, 110, 200, 5},  // count beyond the report: only what it carries
        {8, 254, 4, 4},                       // 254, 255, 0, 1
        {4, 110, 3, 0},    {3, 110, 3, 0},
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Quiet(64, c.outLength));
        plat::Handle h = driver.Open(kNarrowPath);
        std::vector<std::uint8_t> data(300);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
        const auto req = Command(c.outLength, sim::kCmdEepromWrite, c.address, c.count, data);
        Op op;
        ASSERT_EQ(driver.Write(h, req.data(), c.outLength, &op.io), IoStart::kPending);
        ASSERT_TRUE(op.Wait());
        std::uint32_t n = 0;
        ASSERT_TRUE(driver.GetResult(h, &op.io, &n));
        EXPECT_EQ(n, c.outLength);
        const sim::Eeprom e = stick.EepromContents();
        std::size_t changed = 0;
        for (std::size_t i = 0; i < e.size(); ++i) changed += e[i] != 0xFF;
        EXPECT_EQ(changed, c.stored) << "output length " << c.outLength;
        for (std::size_t i = 0; i < c.stored; ++i) {
            EXPECT_EQ(e[(c.address + i) & 0xFF], data[i]);
        }
        driver.Close(h);
    }
}

TEST_F(SimTest, WritesOfTheWrongLengthOrIdAreNotCommands) {
    sim::VirtualStick& stick = AddAndOpen(Quiet(64, 12));
    auto req = Command(12, sim::kCmdEepromWrite, 110, 2, {9, 9});
    Op op;
    EXPECT_EQ(driver_.Write(device_, req.data(), 11, &op.io), IoStart::kFailed);
    EXPECT_EQ(driver_.Write(device_, req.data(), 13, &op.io), IoStart::kFailed);
    req[0] = 5;
    EXPECT_EQ(WriteAndWait(req), 12u);
    EXPECT_EQ(stick.EepromContents()[110], 0xFF);
    EXPECT_EQ(stick.Requests().size(), 1u) << "a foreign report still reaches the stick";
}

TEST_F(SimTest, ReplyFaults) {
    sim::VirtualStick& stick = AddAndOpen(Quiet(12, 8));
    const auto req = Command(8, sim::kCmdEepromRead, 110, 0x80);

    // Two foreign reports come first, then the reply.
    StickFaults f;
    f.foreignReportsBeforeReply = 2;
    f.foreignReportId = 7;
    stick.SetFaults(f);
    WriteAndWait(req);
    for (std::uint8_t id : {7, 7, 2}) {
        Op op(12);
        ReadAndWait(op);
        EXPECT_EQ(op.buffer[0], id);
    }

    // A dropped reply never comes; the next one does.
    f = StickFaults{};
    f.dropReplies = 1;
    stick.SetFaults(f);
    Op pending(12);
    ASSERT_EQ(driver_.Read(device_, pending.buffer.data(), 12, &pending.io), IoStart::kPending);
    WriteAndWait(req);
    EXPECT_EQ(stick.Faults().dropReplies, 0u);
    WriteAndWait(req);
    ASSERT_TRUE(pending.Wait());
    EXPECT_EQ(pending.buffer[0], 2);
    EXPECT_EQ(stick.ReportsSent(), 4u) << "2 foreign, 2 replies";

    // A late reply is held back by its extra delay: cancelled reads do not
    // see it, and it arrives later all the same.
    f = StickFaults{};
    f.lateReplies = 1;
    f.lateReplyMs = 300;
    stick.SetFaults(f);
    WriteAndWait(req);
    EXPECT_EQ(stick.ReportsSent(), 4u);
    Op late(12);
    ReadAndWait(late);
    EXPECT_EQ(late.buffer[0], 2);
}

TEST_F(SimTest, WriteFaults) {
    sim::VirtualStick& stick = AddAndOpen(Quiet(64, 8));
    const auto req = Command(8, sim::kCmdEepromWrite, 110, 1, {0x42});

    StickFaults f;
    f.writesFail = true;
    stick.SetFaults(f);
    Op failed;
    EXPECT_EQ(driver_.Write(device_, req.data(), 8, &failed.io), IoStart::kFailed);

    f = StickFaults{};
    f.writesShort = true;
    stick.SetFaults(f);
    EXPECT_EQ(WriteAndWait(req), 7u);
    EXPECT_EQ(stick.EepromContents()[110], 0xFF) << "a short write does not reach the stick";

    f = StickFaults{};
    f.writesCompleteAtOnce = true;
    stick.SetFaults(f);
    Op atOnce;
    ASSERT_EQ(driver_.Write(device_, req.data(), 8, &atOnce.io), IoStart::kCompleted);
    std::uint32_t n = 0;
    EXPECT_TRUE(driver_.GetResult(device_, &atOnce.io, &n));
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(stick.EepromContents()[110], 0x42);

    // A write that never completes stays pending until it is cancelled;
    // Cancel completes it (event signalled, result failed) before returning.
    f = StickFaults{};
    f.writesNeverComplete = true;
    stick.SetFaults(f);
    const auto other = Command(8, sim::kCmdEepromWrite, 111, 1, {0x43});
    Op never;
    ASSERT_EQ(driver_.Write(device_, other.data(), 8, &never.io), IoStart::kPending);
    EXPECT_EQ(stick.PendingWrites(), 1u);
    EXPECT_FALSE(driver_.GetResult(device_, &never.io, &n));
    EXPECT_FALSE(never.Signalled());
    driver_.Cancel(device_, &never.io);
    EXPECT_TRUE(never.Signalled());
    EXPECT_FALSE(driver_.GetResult(device_, &never.io, &n));
    EXPECT_EQ(stick.PendingWrites(), 0u);
    EXPECT_EQ(stick.EepromContents()[111], 0xFF);
}

TEST_F(SimTest, CancelledReadIsCompleteAndItsBufferFreeAgain) {
    sim::VirtualStick& stick = AddAndOpen();
    Op op;
    ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 64, &op.io), IoStart::kPending);
    driver_.Cancel(device_, &op.io);
    EXPECT_TRUE(op.Signalled());
    std::uint32_t n = 0;
    EXPECT_FALSE(driver_.GetResult(device_, &op.io, &n));
    EXPECT_EQ(stick.PendingReads(), 0u);
    stick.SendReport();
    EXPECT_EQ(op.buffer[0], 0xEE) << "a cancelled read's buffer must not be written";
    driver_.Cancel(device_, &op.io);  // nothing pending: harmless
}

TEST_F(SimTest, ReadsThatCompleteAtOnce) {
    sim::VirtualStick& stick = AddAndOpen();
    StickFaults f;
    f.readsCompleteAtOnce = true;
    stick.SetFaults(f);
    Op op;
    std::uint32_t n = 99;
    ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 64, &op.io), IoStart::kCompleted);
    EXPECT_TRUE(driver_.GetResult(device_, &op.io, &n));
    EXPECT_EQ(n, 0u);
    stick.SendReport();
    ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 64, &op.io), IoStart::kCompleted);
    EXPECT_TRUE(driver_.GetResult(device_, &op.io, &n));
    EXPECT_EQ(n, 64u);
    EXPECT_EQ(op.buffer[0], 1);
}

TEST_F(SimTest, UnplugFailsEverythingAndHandlesStayDead) {
    StickSettings s = Quiet();
    sim::VirtualStick& stick = AddAndOpen(s);
    StickFaults f;
    f.writesNeverComplete = true;
    stick.SetFaults(f);
    Op read, write;
    const auto req = Command(64, sim::kCmdEepromRead, 110, 0x80);
    ASSERT_EQ(driver_.Read(device_, read.buffer.data(), 64, &read.io), IoStart::kPending);
    ASSERT_EQ(driver_.Write(device_, req.data(), 64, &write.io), IoStart::kPending);

    stick.Unplug();
    EXPECT_TRUE(read.Signalled());
    EXPECT_TRUE(write.Signalled());
    std::uint32_t n = 0;
    EXPECT_FALSE(driver_.GetResult(device_, &read.io, &n));
    EXPECT_FALSE(driver_.GetResult(device_, &write.io, &n));
    EXPECT_EQ(driver_.Read(device_, read.buffer.data(), 64, &read.io), IoStart::kFailed);
    EXPECT_EQ(driver_.Write(device_, req.data(), 64, &write.io), IoStart::kFailed);
    EXPECT_EQ(driver_.Open(kNarrowPath), plat::InvalidHandle());
    plat::HidAttributes a;
    EXPECT_FALSE(driver_.GetAttributes(device_, &a));

    stick.Plug();
    EXPECT_EQ(driver_.Read(device_, read.buffer.data(), 64, &read.io), IoStart::kFailed)
        << "a handle from before the unplug stays dead";
    plat::Handle fresh = driver_.Open(kNarrowPath);
    ASSERT_NE(fresh, plat::InvalidHandle());
    Op again;
    ASSERT_EQ(driver_.Read(fresh, again.buffer.data(), 64, &again.io), IoStart::kPending);
    stick.SendReport();
    EXPECT_TRUE(again.Wait());
    driver_.Close(fresh);
}

TEST_F(SimTest, ClosingAHandleCompletesItsPendingReads) {
    sim::VirtualStick& stick = AddAndOpen();
    Op op;
    ASSERT_EQ(driver_.Read(device_, op.buffer.data(), 64, &op.io), IoStart::kPending);
    EXPECT_TRUE(driver_.Close(device_));
    device_ = nullptr;
    EXPECT_TRUE(op.Signalled());
    EXPECT_EQ(stick.PendingReads(), 0u);
}

TEST_F(SimTest, EveryOpenHandleGetsEveryReport) {
    sim::VirtualStick& stick = AddAndOpen();
    plat::Handle second = driver_.Open(kNarrowPath);
    ASSERT_NE(second, plat::InvalidHandle());
    Op a, b;
    ASSERT_EQ(driver_.Read(device_, a.buffer.data(), 64, &a.io), IoStart::kPending);
    ASSERT_EQ(driver_.Read(second, b.buffer.data(), 64, &b.io), IoStart::kPending);
    stick.SendReport();
    EXPECT_TRUE(a.Signalled());
    EXPECT_TRUE(b.Signalled());
    driver_.Close(second);
}

TEST_F(SimTest, ReportLengthsFrom0To65535NeverOverflow) {
    for (std::uint32_t length : {0u, 1u, 3u, 4u, 5u, 8u, 9u, 10u, 11u, 12u, 65535u}) {
        sim::SimHidDriver driver;
        const auto len16 = static_cast<std::uint16_t>(length);
        sim::VirtualStick& stick = driver.AddStick(Quiet(len16, len16));
        stick.SetAxes(0x1234, 0xABCD);
        plat::Handle h = driver.Open(kNarrowPath);
        // One guard byte after each buffer: ASan and the check below catch
        // any write past the report.
        Op read(length + 1);
        ASSERT_EQ(driver.Read(h, read.buffer.data(), length, &read.io), IoStart::kPending);
        stick.SendReport();
        ASSERT_TRUE(read.Wait());
        EXPECT_EQ(read.buffer[length], 0xEE) << "length " << length;
        if (length >= 10) {
            EXPECT_EQ(read.buffer[9], 0x12);
        }

        const auto req = Command(length, sim::kCmdEepromRead, 0, 0x80);
        Op write;
        std::vector<std::uint8_t> out(req);
        out.push_back(0xEE);
        const IoStart s = driver.Write(h, out.data(), length, &write.io);
        ASSERT_EQ(s, IoStart::kPending) << "length " << length;
        ASSERT_TRUE(write.Wait());
        if (length >= 3) {
            Op reply(length + 1);
            ASSERT_EQ(driver.Read(h, reply.buffer.data(), length, &reply.io), IoStart::kPending);
            ASSERT_TRUE(reply.Wait());
            EXPECT_EQ(reply.buffer[length], 0xEE) << "length " << length;
            EXPECT_EQ(reply.buffer[0], 2);
        }
        driver.Close(h);
    }
}

TEST_F(SimTest, StreamsAtItsRate) {
    StickSettings s = Quiet();
    s.reportsPerSecond = 1000;
    sim::VirtualStick& stick = AddAndOpen(s);
    // Keep a read pending all the time; the count only has to grow.
    for (int i = 0; i < 20; ++i) {
        Op op;
        ReadAndWait(op);
        EXPECT_EQ(op.buffer[0], 1);
    }
    EXPECT_GE(stick.ReportsSent(), 20u);
    s.reportsPerSecond = 0;
    stick.SetSettings(s);
}

TEST_F(SimTest, EnumerationListsAttachedControllersInOrder) {
    sim::ControllerInfo pad;
    pad.vidPid = 0x12340F3D;  // same vendor, other product
    pad.path = u"\\\\?\\hid#pad";
    driver_.AddController(pad);
    sim::ControllerInfo broken;
    broken.vidPid = sim::kStickVidPid;
    broken.createFails = true;
    driver_.AddController(broken);
    sim::ControllerInfo noPath;
    noPath.vidPid = sim::kStickVidPid;
    noPath.pathUnreadable = true;
    driver_.AddController(noPath);
    sim::ControllerInfo noId;
    noId.vidPidUnreadable = true;
    driver_.AddController(noId);
    sim::VirtualStick& stick = driver_.AddStick(Quiet());

    plat::InputSystem* system = nullptr;
    ASSERT_TRUE(driver_.CreateInputSystem(&system));
    struct Seen {
        plat::InputSystem* system;
        std::vector<std::string> entries;
    } seen{system, {}};
    auto walk = [&] {
        seen.entries.clear();
        system->EnumDevices(
            [](const plat::DeviceInstance* instance, void* context) {
                auto* s = static_cast<Seen*>(context);
                plat::InputDevice* device = nullptr;
                if (!s->system->CreateDevice(*instance, &device)) {
                    s->entries.push_back("no device");
                    return plat::kDienumContinue;
                }
                std::uint32_t vidPid = 0;
                std::string entry = device->GetVidPid(&vidPid) ? std::to_string(vidPid) : "no id";
                plat::GuidAndPath record;
                entry += device->GetGuidAndPath(&record) ? " path" : " no path";
                device->Release();
                s->entries.push_back(entry);
                return plat::kDienumContinue;
            },
            &seen);
    };
    walk();
    const std::string stickId = std::to_string(sim::kStickVidPid);
    const std::vector<std::string> all = {std::to_string(0x12340F3Du) + " path", "no device",
                                          stickId + " no path", "no id path", stickId + " path"};
    EXPECT_EQ(seen.entries, all);

    stick.Unplug();
    walk();
    EXPECT_EQ(seen.entries.size(), 4u) << "an unplugged stick is not attached";
    system->Release();
    EXPECT_EQ(driver_.LiveInputSystems(), 0u);
}

TEST_F(SimTest, LongPathsFillTheRecordWithoutTerminator) {
    StickSettings s = Quiet();
    s.path = std::u16string(300, u'a');
    driver_.AddStick(s);
    plat::InputSystem* system = nullptr;
    ASSERT_TRUE(driver_.CreateInputSystem(&system));
    struct Ctx {
        plat::InputSystem* system;
        plat::GuidAndPath record;
    } ctx{system, {}};
    system->EnumDevices(
        [](const plat::DeviceInstance* instance, void* context) {
            auto* c = static_cast<Ctx*>(context);
            plat::InputDevice* device = nullptr;
            if (c->system->CreateDevice(*instance, &device)) {
                EXPECT_TRUE(device->GetGuidAndPath(&c->record));
                device->Release();
            }
            return plat::kDienumStop;
        },
        &ctx);
    EXPECT_EQ(ctx.record.wszPath[259], u'a');
    system->Release();
}

TEST_F(SimTest, EepromFileRoundTripAndRejectsOtherSizes) {
    sim::VirtualStick& stick = driver_.AddStick(Quiet());
    sim::Eeprom e;
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(255 - i);
    stick.SetEeprom(e);
    const std::string path = ::testing::TempDir() + "kx9_sim_eeprom.bin";
    ASSERT_TRUE(stick.SaveEeprom(path));
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(bytes.size(), 256u);
        EXPECT_EQ(static_cast<std::uint8_t>(bytes[110]), 255 - 110);
    }
    sim::Eeprom blank;
    blank.fill(0);
    stick.SetEeprom(blank);
    ASSERT_TRUE(stick.LoadEeprom(path));
    EXPECT_EQ(stick.EepromContents(), e);

    for (std::size_t size : {0u, 255u, 257u}) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << std::string(size, 'x');
        }
        EXPECT_FALSE(stick.LoadEeprom(path)) << "size " << size;
        EXPECT_EQ(stick.EepromContents(), e);
    }
    EXPECT_FALSE(stick.LoadEeprom(path + ".missing"));
    std::remove(path.c_str());
}

}  // namespace
