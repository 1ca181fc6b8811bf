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

TEST_F(SimTest, WriteRequestStoresItsCountOfBytesWrappingAt255) {
    struct Case {
        std::uint16_t outLength;
        std::uint8_t address;
        std::uint8_t count;
        std::size_t stored;  // bytes that fit the report
    } cases[] = {
        {9, 110, 5, 5},
        {9, 110, 200, 5},  // count beyond the report: only what it carries
        {8, 254, 4, 4},    // 254, 255, 0, 1
        {4, 110, 3, 0},
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
