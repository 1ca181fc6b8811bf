// The wizard and the dump command over the hidraw driver, against a model of
// the stick's firmware on the far end of the node: the worked example's block
// lands in the firmware's EEPROM, the dump saves the firmware's bytes, both in
// as many reports as the report lengths allow, and pulling the stick after
// the write starts over at step 1.
#include <fstream>
#include <ostream>
#include <sstream>

#include "calib/calibration_file.h"
#include "tests/hidraw_wizard/hidraw_wizard_fixture.h"
#include "ui/resource.h"

namespace hidraw_wizard {
namespace {

const char* const kZeroConfig =
    "Edge_Size = 0; Edge_Reduc = 0; Edge_Shift = 0; Edge_BM = 0;\n"
    "Center_Area = 0; Center_Reduc = 0; Center_Shift = 0; Center_BM = 0;\n";

const char* const kLineConfig =
    "Edge_Size = 0x0400; Edge_Reduc = 0x20; Edge_Shift = 0x03; Edge_BM = 0x07;\n"
    "Center_Area = 0x0200; Center_Reduc = 0x10; Center_Shift = 0x02; Center_BM = 0x03;\n";

// The worked example's block with all eight configured values zero.
const Bytes kWorkedBlock = {0x00, 0x40, 0xC0, 0x3F, 0, 0, 0, 0, 0,
                            0x81, 0x82, 0x82, 0x80, 0, 0, 0, 0, 0};

// Everything outside the calibration area must survive a write, and a read
// that strays from it shows.
Eeprom Background() {
    Eeprom e;
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    return e;
}

struct Chunk {
    std::uint8_t address;
    std::uint8_t count;
};

struct Case {
    const char* name;
    Lengths lengths;
    std::vector<Chunk> writes;                // (address, count) of each write request
    std::vector<std::uint8_t> readAddresses;  // of each read request
};

const Case kCases[] = {
    {"Long", {64, 64}, {{110, 18}}, {110}},
    {"Short", {12, 12}, {{110, 8}, {118, 8}, {126, 2}}, {110, 118, 126}},
    {"LongInShortOut", {64, 12}, {{110, 8}, {118, 8}, {126, 2}}, {110}},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// A whole output report as the host must send it: header, data, zeros.
Bytes Request(std::uint16_t length, std::uint8_t command, std::uint8_t address, std::uint8_t third,
              const Bytes& data = {}) {
    Bytes r(length, 0);
    r[0] = 1;
    r[1] = command;
    r[2] = address;
    r[3] = third;
    std::copy(data.begin(), data.end(), r.begin() + 4);
    return r;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class HidrawLengthsTest : public HidrawWizardTest, public ::testing::WithParamInterface<Case> {
  protected:
    // Steps 1 to 5 as the worked example walks them, each press checked.
    void WalkWorkedExample() {
        struct Press {
            std::uint16_t x, y;
            std::vector<std::string> after;
        };
        const Press presses[] = {
            {0x8000, 0x7F80, Steps({"PLUG", "UP", "PIC_2"})},
            {0x8000, 0x0080, Steps({"PLUG", "UP", "RIGHT", "PIC_3"})},
            {0xBF00, 0x8000, Steps({"PLUG", "UP", "RIGHT", "PIC_3"})},  // not far enough
            {0xFF00, 0x8000, Steps({"PLUG", "UP", "RIGHT", "DOWN", "PIC_4"})},
            {0x8000, 0xFFFF, Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "PIC_5"})},
            {0x0000, 0x8000, Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"})},
        };
        for (const Press& p : presses) {
            HoldStick(p.x, p.y);
            PressSpace();
            EXPECT_EQ(Visible(), p.after) << std::hex << "Space at " << p.x << "," << p.y;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(ReportLengths, HidrawLengthsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

TEST_P(HidrawLengthsTest, WorkedExampleWritesTheBlockIntoTheFirmware) {
    const Case& c = GetParam();
    WriteConfig(kZeroConfig);
    Attach(c.lengths);
    firmware_->SetEeprom(Background());
    OpenDialog();
    EXPECT_TRUE(Boxes().empty()) << Boxes().front().call.text;
    EXPECT_EQ(Visible(), Steps({"PLUG", "PIC_1"}));
    ASSERT_EQ(dlg_->m_bDeviceFound, 1u);
    EXPECT_EQ(std::string(dlg_->m_szDevicePath), tree_->node(kStickNumber));
    EXPECT_EQ(dlg_->m_Caps.InputReportByteLength, c.lengths.input);
    EXPECT_EQ(dlg_->m_Caps.OutputReportByteLength, c.lengths.output);

    WalkWorkedExample();

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << boxes.back().call.text;
    EXPECT_EQ(boxes[0].call.caption, "Debug");
    EXPECT_EQ(boxes[0].call.text,
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
              "00 00 ");
    EXPECT_EQ(dlg_->m_bCalibrated, 1) << "every chunk went out, yet the write counts as failed";

    std::vector<Bytes> expected;
    for (const Chunk& k : c.writes) {
        const auto from = kWorkedBlock.begin() + (k.address - 110);
        expected.push_back(
            Request(c.lengths.output, 3, k.address, k.count, Bytes(from, from + k.count)));
    }
    EXPECT_EQ(Hex(WaitForRequests(3, expected.size())), Hex(expected));
    EXPECT_EQ(Hex(FirmwareBlock()), Hex(kWorkedBlock));
    const Eeprom after = firmware_->EepromContents();
    const Eeprom before = Background();
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i >= 110 && i < 128) continue;
        EXPECT_EQ(after[i], before[i]) << "EEPROM " << i << " changed";
    }
    EXPECT_TRUE(WaitForRequests(4, 0).empty()) << "the write read the stick";
}

TEST_P(HidrawLengthsTest, DumpSavesTheFirmwareBytes) {
    const Case& c = GetParam();
    WriteConfig("Edge_Size = 0x400; Edge_Reduc = 0x20; Center_BM = 3;");
    Attach(c.lengths);
    Eeprom e = Background();
    for (int i = 0; i < 18; ++i) e[110 + i] = static_cast<std::uint8_t>(i);
    firmware_->SetEeprom(e);
    OpenDialog();
    const CalibrationRecord loaded = dlg_->m_Calib;
    HoldStick(0x8000, 0x8000);  // the reader runs, so it can park for the read

    responder_.savePath = (dir_ / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u) << boxes.back().call.text;
    EXPECT_EQ(boxes[0].call.caption, "Debug");
    EXPECT_EQ(boxes[0].call.text,
              "READ DATA\n00 01 02 03 04 05 06 07 \n08 09 0A 0B 0C 0D 0E 0F \n10 11 ");

    std::vector<Bytes> expected;
    for (std::uint8_t address : c.readAddresses) {
        expected.push_back(Request(c.lengths.output, 4, address, 0x80));
    }
    EXPECT_EQ(Hex(WaitForRequests(4, expected.size())), Hex(expected));
    EXPECT_TRUE(WaitForRequests(3, 0).empty()) << "the dump wrote to the stick";

    CalibrationBlock block;
    for (int i = 0; i < 18; ++i) block[i] = static_cast<std::uint8_t>(i);
    CalibrationRecord stick{};
    UnpackCalibrationBlock(block, stick);
    const std::string text = ReadText(dir_ / "dump.txt");
    EXPECT_EQ(text, FormatCalibrationFile(stick));
    EXPECT_NE(text.find("Initial_Pos_X = 0x0100; // 110..111\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Center_BM     = 0x11;   // 127\n"), std::string::npos) << text;
    EXPECT_EQ(dlg_->m_Calib, loaded);
    const Eeprom after = firmware_->EepromContents();
    EXPECT_EQ(Hex(Bytes(after.begin(), after.end())), Hex(Bytes(e.begin(), e.end())));

    // The reader samples again once the read has let it go.
    HoldStick(0x1234, 0xABCD);
}

TEST_F(HidrawWizardTest, PullingTheStickAfterTheWriteStartsOverAtStepOne) {
    const std::vector<std::string> step6 = Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"});
    WriteConfig(kLineConfig);
    Attach({12, 12});
    OpenDialog();
    for (const auto& [x, y] : {std::pair<std::uint16_t, std::uint16_t>{0x8000, 0x7F80},
                               {0x8000, 0x0080},
                               {0xFF00, 0x8000},
                               {0x8000, 0xFFFF},
                               {0x0000, 0x8000}}) {
        HoldStick(x, y);
        PressSpace();
    }
    ASSERT_EQ(Visible(), step6);
    // The configured values travel with the computed ones.
    WaitForRequests(3, 3);
    EXPECT_EQ(Hex(FirmwareBlock()), "00 40 C0 3F 00 04 20 03 07 81 82 82 80 00 02 10 02 03");
    EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr) << "the link stays open after the write";

    // Still plugged: each tick opens the node and lets it go.
    const int opened = firmware_->Connections();
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), step6);
    EXPECT_TRUE(desktop_.WaitUntil([&] { return firmware_->Connections() == opened + 1; },
                                   std::chrono::seconds(30)))
        << "the poll did not open the node: " << firmware_->Connections() - opened;

    UnplugStick();
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), Steps({"PLUG", "PIC_1"}));
    EXPECT_EQ(dlg_->m_bDeviceFound, 0u);
    EXPECT_EQ(CountJournal("KillTimer 1"), 1);
    EXPECT_EQ(Boxes().size(), 1u) << Boxes().back().call.text;
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), Steps({"PLUG", "PIC_1"})) << "the poll outlived the unplug";

    // The next stick on the same node: Space finds it and is judged as step 1.
    firmware_->SetEeprom(Eeprom{});
    firmware_->SetAxes(0x8000, 0x8000);
    PlugStick();
    PressSpace();
    ASSERT_EQ(dlg_->m_bDeviceFound, 1u);
    HoldStick(0x8000, 0x8000);
    // A press judged before the new reader's first report meets the zeros of
    // a fresh link and fails; the next one, after a report, must pass.
    if (Visible() == Steps({"PLUG", "PIC_1"})) PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "PIC_2"}));
}

TEST_F(HidrawWizardTest, PullingTheStickMidWalkKeepsTheStepAndTheLastValues) {
    WriteConfig(kZeroConfig);
    Attach({64, 64});
    OpenDialog();
    HoldStick(0x8000, 0x7F80);
    PressSpace();
    HoldStick(0xC000, 0x0080);
    PressSpace();
    ASSERT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "PIC_3"}));

    UnplugStick();
    // The reader's pending read fails with the node gone; the axes keep the
    // last report's values and the right step is judged on them.
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "PIC_4"}));
    EXPECT_EQ(dlg_->m_nCurX.load(), 0xC000);
    EXPECT_EQ(dlg_->m_bDeviceFound, 1u) << "nothing notices an unplug before step 6";
    // The reader retries the gone node until the link is closed; closing
    // must still stop it (TearDown closes the dialog).
    dlg_->CloseLink();
    EXPECT_EQ(dlg_->m_hReaderThread.load(), nullptr);
    EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr);
}

}  // namespace hidraw_wizard
