// The EEPROM transfers against the virtual stick: the requests on the wire,
// what the stick's memory holds afterwards, the two diagnostic texts, and
// every way a transfer can fail.
#include <algorithm>
#include <sstream>

#include "tests/device/device_fixture.h"

namespace {

using devtest::DeviceTest;
using devtest::kLimit;
using devtest::Stick;

constexpr std::uint32_t kRate = 200;  // reports/s, so that the reader parks

struct Chunk {
    int address;
    int count;
    bool operator==(const Chunk&) const = default;
};

std::string ToString(const std::vector<Chunk>& chunks) {
    std::ostringstream s;
    for (const Chunk& c : chunks) s << "(" << c.address << ", " << c.count << ") ";
    return s.str();
}

std::vector<Chunk> RequestsOf(const sim::VirtualStick& stick, std::uint8_t command) {
    std::vector<Chunk> out;
    for (const sim::Request& r : stick.Requests()) {
        if (r.reportId == 1 && r.command == command) out.push_back({r.address, r.count});
    }
    return out;
}

// EEPROM addresses 110..127 holding 0x00..0x11.
sim::Eeprom CountingBlock() {
    sim::Eeprom e;
    e.fill(0xEE);
    for (int i = 0; i < kCalibBlockSize; ++i)
        e[kCalibEepromBase + i] = static_cast<std::uint8_t>(i);
    return e;
}

// Addresses 110..127, as a vector so that a failure prints only those.
std::vector<std::uint8_t> BlockOf(const sim::Eeprom& e) {
    return {e.begin() + kCalibEepromBase, e.begin() + kCalibEepromBase + kCalibBlockSize};
}

std::vector<std::uint8_t> BlockOf(const sim::VirtualStick& stick) {
    return BlockOf(stick.EepromContents());
}

CalibrationRecord CountingRecord() {
    CalibrationRecord r{};
    r.Initial_Pos_X = 0x0100;
    r.Initial_Pos_Y = 0x0302;
    r.Edge_Size = 0x0504;
    r.Edge_Reduc = 0x06;
    r.Edge_Shift = 0x07;
    r.Edge_BM = 0x08;
    r.MultInit_XN = 0x09;
    r.MultInit_XP = 0x0A;
    r.MultInit_YN = 0x0B;
    r.MultInit_YP = 0x0C;
    r.Center_Area = 0x0E0D;
    r.Center_Reduc = 0x0F;
    r.Center_Shift = 0x10;
    r.Center_BM = 0x11;
    return r;
}

CalibrationRecord Sentinel() {
    CalibrationRecord r{};
    r.Initial_Pos_X = 0xDEAD;
    r.Center_BM = 0x5A;
    return r;
}

const char kCountingReadText[] =
    "READ DATA\n00 01 02 03 04 05 06 07 \n08 09 0A 0B 0C 0D 0E 0F \n10 11 ";

class EepromTest : public DeviceTest {
  protected:
    sim::VirtualStick& OpenStick(const sim::StickSettings& settings) {
        sim::VirtualStick& stick = driver_.AddStick(settings);
        stick.SetEeprom(CountingBlock());
        OpenOn();
        desktop_.ClearRecords();
        return stick;
    }
};

TEST_F(EepromTest, ReadAsksAtTheCountReceivedSoFar) {
    struct Case {
        std::uint16_t inLength;
        std::vector<Chunk> requests;  // (address, 0x80)
    } cases[] = {
        {64, {{110, 0x80}}},
        {22, {{110, 0x80}}},
        {12, {{110, 0x80}, {118, 0x80}, {126, 0x80}}},
        {9, {{110, 0x80}, {115, 0x80}, {120, 0x80}, {125, 0x80}}},
        {11, {{110, 0x80}, {117, 0x80}, {124, 0x80}}},
        {10, {{110, 0x80}, {116, 0x80}, {122, 0x80}}},
        {8, {{110, 0x80}, {114, 0x80}, {118, 0x80}, {122, 0x80}, {126, 0x80}}},
        {7, {{110, 0x80}, {113, 0x80}, {116, 0x80}, {119, 0x80}, {122, 0x80}, {125, 0x80}}},
        {6,
         {{110, 0x80},
          {112, 0x80},
          {114, 0x80},
          {116, 0x80},
          {118, 0x80},
          {120, 0x80},
          {122, 0x80},
          {124, 0x80},
          {126, 0x80}}},
        {65535, {{110, 0x80}}},
    };
    for (const auto& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(c.inLength, 8, kRate));
        stick.SetEeprom(CountingBlock());
        plat::InstallHid(&driver);
        OpenOn();
        desktop_.ClearRecords();
        dlg_.m_Calib = Sentinel();

        EXPECT_EQ(dlg_.ReadEepromBlock(), 1) << "input length " << c.inLength;
        const auto requests = RequestsOf(stick, 4);
        EXPECT_EQ(requests, c.requests)
            << "input length " << c.inLength << ": got " << ToString(requests) << "expected "
            << ToString(c.requests);
        EXPECT_EQ(dlg_.m_Calib, CountingRecord()) << "input length " << c.inLength;
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{kCountingReadText});
        ExpectDebugBoxes();
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
        for (const sim::Request& r : stick.Requests()) {
            ASSERT_EQ(r.length, 8u);
            EXPECT_TRUE(std::all_of(r.bytes.begin() + 4, r.bytes.end(), [](std::uint8_t b) {
                return b == 0;
            })) << "request padding must be zero";
        }
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

TEST_F(EepromTest, ReaderStaysParkedWhileTheReadDataBoxIsOpen) {
    sim::VirtualStick& stick = OpenStick(Stick(64, 8, kRate));
    bool parked = false;
    std::size_t pendingReads = 99;
    responder_.onBox = [&](const plat::vws::MessageBoxCall&) {
        parked = dlg_.m_bReaderPaused == 1 && dlg_.m_bPauseReader == 1;
        pendingReads = stick.PendingReads();
    };
    ASSERT_EQ(dlg_.ReadEepromBlock(), 1);
    EXPECT_TRUE(parked);
    EXPECT_EQ(pendingReads, 0u);
    // Released afterwards: the reader samples again.
    stick.SetAxes(0x3456, 0x789A);
    EXPECT_TRUE(Eventually([&] { return dlg_.m_nCurX == 0x3456; }));
}

TEST_F(EepromTest, ReadPassesOverForeignReportsAndSurvivesLostAndLateReplies) {
    struct Case {
        const char* what;
        sim::StickFaults faults;
        std::size_t requests;
    };
    sim::StickFaults foreign, lost, late;
    foreign.foreignReportsBeforeReply = 5;
    foreign.foreignReportId = 7;
    lost.dropReplies = 2;
    late.lateReplies = 1;
    late.lateReplyMs = 700;  // after the 500 ms window of its attempt
    const Case cases[] = {
        {"foreign reports", foreign, 1},
        {"two replies lost", lost, 3},
        {"one reply late", late, 2},
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(64, 8, kRate));
        stick.SetEeprom(CountingBlock());
        stick.SetFaults(c.faults);
        plat::InstallHid(&driver);
        OpenOn();
        dlg_.m_Calib = Sentinel();
        EXPECT_EQ(dlg_.ReadEepromBlock(), 1) << c.what;
        EXPECT_EQ(RequestsOf(stick, 4).size(), c.requests) << c.what;
        EXPECT_EQ(dlg_.m_Calib, CountingRecord()) << c.what;
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

TEST_F(EepromTest, ReadGivesUpAfterNineAttempts) {
    struct Case {
        const char* what;
        std::uint16_t inLength;
        std::uint32_t dropReplies;
        std::vector<int> addresses;
    } cases[] = {
        {"no replies",
         64,
         sim::StickFaults::kAlways,
         {110, 110, 110, 110, 110, 110, 110, 110, 110}},
        // One byte per reply: 9 of the 18 arrive.
        {"one byte per reply", 5, 0, {110, 111, 112, 113, 114, 115, 116, 117, 118}},
    };
    for (const auto& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(c.inLength, 8, kRate));
        stick.SetEeprom(CountingBlock());
        sim::StickFaults f;
        f.dropReplies = c.dropReplies;
        stick.SetFaults(f);
        plat::InstallHid(&driver);
        OpenOn();
        desktop_.ClearRecords();
        dlg_.m_Calib = Sentinel();
        EXPECT_EQ(dlg_.ReadEepromBlock(), 0) << c.what;
        std::vector<int> addresses;
        for (const Chunk& r : RequestsOf(stick, 4)) addresses.push_back(r.address);
        EXPECT_EQ(addresses, c.addresses) << c.what;
        EXPECT_EQ(dlg_.m_Calib, Sentinel()) << c.what << ": an incomplete read changes nothing";
        EXPECT_TRUE(BoxTexts().empty()) << c.what;
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u) << c.what;
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

TEST_F(EepromTest, ReadWithoutAStickTimesOutAndLeavesTheReaderFree) {
    dlg_.m_Calib = Sentinel();
    dlg_.m_Caps.InputReportByteLength = 64;
    dlg_.m_Caps.OutputReportByteLength = 64;
    EXPECT_EQ(dlg_.ReadEepromBlock(), 0);
    EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
    EXPECT_EQ(dlg_.m_Calib, Sentinel());

    // The next link samples normally.
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    OpenOn();
    stick.SetAxes(0x2468, 0x1357);
    stick.SendReport();
    EXPECT_TRUE(Eventually([&] { return dlg_.m_nCurX == 0x2468; }));
    EXPECT_TRUE(BoxTexts().empty());
}

// The captured values and gains of a finished calibration, the file's own
// eight fields all zero.
void SetWorkedExample(CKx9JoystickCalibrationDlg& dlg) {
    dlg.m_nCenterX = 0x8000;
    dlg.m_nCenterY = 0x7F80;
    dlg.m_nLeftX = 0x0000;
    dlg.m_nRightX = 0xFF00;
    dlg.m_nUpY = 0x0080;
    dlg.m_nDownY = 0xFFFF;
    dlg.m_Calib = CalibrationRecord{};
    dlg.m_Calib.Initial_Pos_X = 0x4000;
    dlg.m_Calib.Initial_Pos_Y = 0x3FC0;
    dlg.m_Calib.MultInit_XN = 0x81;
    dlg.m_Calib.MultInit_XP = 0x82;
    dlg.m_Calib.MultInit_YN = 0x82;
    dlg.m_Calib.MultInit_YP = 0x80;
}

TEST_F(EepromTest, DataTextShowsTheValuesAndTheBlock) {
    sim::VirtualStick& stick = OpenStick(Stick(64, 22));
    SetWorkedExample(dlg_);
    ASSERT_TRUE(dlg_.WriteEepromBlock());
    const std::string expected =
        "DATA\n"
        "Center X:8000, Y:7F80\n"
        "Min X=0000, Max X = FF00\n"
        "Min Y=0080 Max Y=FFFF\n"
        "\n"
        "InitPosX = 4000, InitPosY = 3FC0\n"
        "EdgeSize=0000\n"
        "EdgeReduc=00, EdgeShift=00, EdgeBM=00\n"
        "MultInit XN=81,XP=82,YN=82,YP=80\n"
        "CenterArea=0000\n"
        "Center Reduc=00,Shift=00,BM=00\n"
        "\n"
        "00 40 C0 3F 00 00 00 00 \n"
        "00 81 82 82 80 00 00 00 \n"
        "00 00 ";
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{expected});
    ExpectDebugBoxes();
    const sim::Eeprom e = stick.EepromContents();
    const std::vector<std::uint8_t> written(e.begin() + 110, e.begin() + 128);
    const std::vector<std::uint8_t> block = {0x00, 0x40, 0xC0, 0x3F, 0, 0, 0, 0, 0,
                                             0x81, 0x82, 0x82, 0x80, 0, 0, 0, 0, 0};
    EXPECT_EQ(written, block);
    EXPECT_EQ(e[109], 0xEE) << "nothing outside the block is written";
    EXPECT_EQ(e[128], 0xEE);

    // Short fields keep two digits, long ones four, whatever the value.
    desktop_.ClearRecords();
    dlg_.m_Calib.Edge_Size = 0x0123;
    dlg_.m_Calib.Edge_Reduc = 5;
    dlg_.m_Calib.Edge_BM = 0xFF;
    dlg_.m_Calib.Center_Area = 0xBEEF;
    dlg_.m_Calib.Center_Shift = 0x0A;
    dlg_.m_nDownY = 0x000F;
    ASSERT_TRUE(dlg_.WriteEepromBlock());
    const std::string text = BoxTexts().at(0);
    for (const char* line :
         {"Min Y=0080 Max Y=000F\n", "EdgeSize=0123\n", "EdgeReduc=05, EdgeShift=00, EdgeBM=FF\n",
          "CenterArea=BEEF\n", "Center Reduc=00,Shift=0A,BM=00\n",
          "00 40 C0 3F 23 01 05 00 \nFF 81 82 82 80 EF BE 00 \n0A 00 "}) {
        EXPECT_NE(text.find(line), std::string::npos) << "missing \"" << line << "\" in\n" << text;
    }
}

TEST_F(EepromTest, WriteIsChunkedByTheOutputReportLength) {
    struct Case {
        std::uint16_t outLength;
        std::vector<Chunk> chunks;
    } cases[] = {
        {9, {{110, 5}, {115, 5}, {120, 5}, {125, 3}}},
        {12, {{110, 8}, {118, 8}, {126, 2}}},
        {5,
         {{110, 1},
          {111, 1},
          {112, 1},
          {113, 1},
          {114, 1},
          {115, 1},
          {116, 1},
          {117, 1},
          {118, 1},
          {119, 1},
          {120, 1},
          {121, 1},
          {122, 1},
          {123, 1},
          {124, 1},
          {125, 1},
          {126, 1},
          {127, 1}}},
        {22, {{110, 18}}},
        {64, {{110, 18}}},
        {259, {{110, 18}}},
    };
    for (const auto& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(64, c.outLength, kRate));
        plat::InstallHid(&driver);
        OpenOn();
        dlg_.m_Calib = CountingRecord();
        bool readerRunsDuringBox = false;
        responder_.onBox = [&](const plat::vws::MessageBoxCall&) {
            readerRunsDuringBox = dlg_.m_bPauseReader == 0;
        };
        EXPECT_TRUE(dlg_.WriteEepromBlock()) << "output length " << c.outLength;
        responder_.onBox = nullptr;
        EXPECT_TRUE(readerRunsDuringBox);
        const auto chunks = RequestsOf(stick, 3);
        EXPECT_EQ(chunks, c.chunks) << "output length " << c.outLength << ": got "
                                    << ToString(chunks) << "expected " << ToString(c.chunks);
        for (const sim::Request& r : stick.Requests()) {
            ASSERT_EQ(r.length, c.outLength);
            EXPECT_TRUE(std::all_of(r.bytes.begin() + 4 + r.count, r.bytes.end(),
                                    [](std::uint8_t b) { return b == 0; }))
                << "padding after the data must be zero";
        }
        EXPECT_EQ(BlockOf(stick), BlockOf(CountingBlock())) << "output length " << c.outLength;
        EXPECT_EQ(stick.EepromContents()[109], 0xFF) << "nothing outside the block is written";
        EXPECT_EQ(stick.EepromContents()[128], 0xFF);
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

TEST_F(EepromTest, WriteReportsFailureButStillSendsEveryChunk) {
    struct Case {
        const char* what;
        sim::StickFaults faults;
    };
    sim::StickFaults fail, never, shortWrites;
    fail.writesFail = true;
    never.writesNeverComplete = true;
    shortWrites.writesShort = true;
    const Case cases[] = {
        {"writes fail", fail}, {"writes never complete", never}, {"short writes", shortWrites}};
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(64, 12, kRate));
        stick.SetFaults(c.faults);
        plat::InstallHid(&driver);
        OpenOn();
        dlg_.m_Calib = CountingRecord();
        EXPECT_FALSE(dlg_.WriteEepromBlock()) << c.what;
        EXPECT_EQ(stick.WritesStarted(), 3u) << c.what << ": one attempt per chunk";
        EXPECT_EQ(stick.PendingWrites(), 0u) << c.what << ": a pending write must be cancelled";
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u) << c.what;
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }

    // No link at all.
    dlg_.m_Caps.OutputReportByteLength = 64;
    EXPECT_FALSE(dlg_.WriteEepromBlock());
}

TEST_F(EepromTest, UnusableReportLengthsSendNothing) {
    struct Case {
        std::uint16_t in, out;
        bool writeFails;  // a usable input length alone does not help the write
    } cases[] = {{64, 0, true},   {64, 1, true},     {64, 4, true},  {64, 260, true},
                 {64, 300, true}, {64, 65535, true}, {0, 64, false}, {4, 64, false}};
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        sim::VirtualStick& stick = driver.AddStick(Stick(c.in, c.out, kRate));
        plat::InstallHid(&driver);
        OpenOn();
        desktop_.ClearRecords();
        dlg_.m_Calib = Sentinel();
        EXPECT_EQ(dlg_.ReadEepromBlock(), 0) << "in " << c.in << " out " << c.out;
        EXPECT_EQ(stick.WritesStarted(), 0u) << "in " << c.in << " out " << c.out;
        EXPECT_EQ(dlg_.m_Calib, Sentinel());
        EXPECT_TRUE(BoxTexts().empty());
        if (c.writeFails) {
            EXPECT_FALSE(dlg_.WriteEepromBlock()) << "output length " << c.out;
            EXPECT_EQ(stick.WritesStarted(), 0u) << "output length " << c.out;
            EXPECT_EQ(BoxTexts().size(), 1u) << "the values are shown all the same";
        }
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
        dlg_.CloseLink();
        plat::InstallHid(&driver_);
    }
}

}  // namespace
