// Whole runs of the wizard: the worked example from the first Space press to
// the stick being unplugged, and what a second stick in the same run gets.
#include <chrono>

#include "tests/common/worked_example.h"
#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

namespace {

const char* const kZeroConfig =
    "/* eight fixed values, all zero */\n"
    "Edge_Size = 0; Edge_Reduc = 0; Edge_Shift = 0; Edge_BM = 0;\n"
    "Center_Area = 0; Center_Reduc = 0; Center_Shift = 0; "
    "Center_BM = 0;\n";

const char* const kLineConfig =
    "Edge_Size     = 0x0400;\nEdge_Reduc    = 0x20;\n"
    "Edge_Shift    = 0x03;\nEdge_BM       = 0x07;\n"
    "Center_Area   = 0x0200;\nCenter_Reduc  = 0x10;\n"
    "Center_Shift  = 0x02;\nCenter_BM     = 0x03;\n";

}  // namespace

TEST_F(WizardTest, WorkedExampleFromCentreToUnplug) {
    WriteConfig(kZeroConfig);
    OpenDialog();
    EXPECT_TRUE(Boxes().empty()) << Boxes().front().call.text;
    EXPECT_EQ(Visible(), Steps({"PLUG", "PIC_1"}));
    ASSERT_EQ(dlg_->m_bDeviceFound, 1u);

    MoveStick(0x8000, 0x7F80);
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "PIC_2"}));

    MoveStick(0x8000, 0x0080);
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "PIC_3"}));

    MoveStick(0xBF00, 0x8000);  // not far enough right yet
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "PIC_3"}));

    MoveStick(0xFF00, 0x8000);
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "PIC_4"}));

    MoveStick(0x8000, 0xFFFF);
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "PIC_5"}));

    MoveStick(0x0000, 0x8000);
    PressSpace();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"}));

    EXPECT_EQ(dlg_->m_Calib.Initial_Pos_X, 0x4000);
    EXPECT_EQ(dlg_->m_Calib.Initial_Pos_Y, 0x3FC0);
    EXPECT_EQ(dlg_->m_Calib.MultInit_XN, 0x81);
    EXPECT_EQ(dlg_->m_Calib.MultInit_XP, 0x82);
    EXPECT_EQ(dlg_->m_Calib.MultInit_YN, 0x82);
    EXPECT_EQ(dlg_->m_Calib.MultInit_YP, 0x80);

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].call.caption, "Debug");
    EXPECT_EQ(boxes[0].call.type, 0u);
    EXPECT_EQ(boxes[0].call.text, kWorkedExampleDataText);
    EXPECT_EQ(EepromBlock(), (std::vector<std::uint8_t>{0x00, 0x40, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0x81,
                                                        0x82, 0x82, 0x80, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dlg_->m_bCalibrated, 1);
    EXPECT_EQ(dlg_->m_bDeviceFound, 1u);
    EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr) << "the link stays open after the write";

    // Still plugged: the poll keeps step 6.
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"}));

    // Unplugged: back to step 1, and no stick to be found.
    stick_->Unplug();
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), Steps({"PLUG", "PIC_1"}));
    EXPECT_EQ(dlg_->m_bDeviceFound, 0u);
    EXPECT_EQ(CountJournal("KillTimer 1"), 1);
}

TEST_F(WizardTest, NextStickInTheSameRunKeepsTheLoadedValues) {
    WriteConfig(kLineConfig);
    OpenDialog();
    WalkWorkedExample();
    stick_->Unplug();
    desktop_.AdvanceClock(500);
    ui_->PumpAll();
    ASSERT_EQ(Visible(), Steps({"PLUG", "PIC_1"}));

    // A second stick: plugged in, then held off-centre of the first one's values.
    stick_->SetEeprom(sim::Eeprom{});
    stick_->Plug();
    stick_->SetAxes(0x7C00, 0x8400);
    PressSpace();  // discovery, then the same press judged as step 1
    ASSERT_EQ(Visible(), Steps({"PLUG", "UP", "PIC_2"}));
    MoveStick(0x7C00, 0x4000);
    PressSpace();
    MoveStick(0xC000, 0x8400);
    PressSpace();
    MoveStick(0x7C00, 0xC000);
    PressSpace();
    MoveStick(0x4000, 0x8400);
    PressSpace();
    ASSERT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"}));

    // Centre 7C00/8400: distances 15360 (XN, YP) and 17408 (XP, YN).
    EXPECT_EQ(EepromBlock(),
              (std::vector<std::uint8_t>{0x00, 0x3E, 0x00, 0x42, 0x00, 0x04, 0x20, 0x03, 0x07, 0x13,
                                         0xF3, 0xF3, 0x13, 0x00, 0x02, 0x10, 0x02, 0x03}));
}

// A stick written and kept, then the next whose write does not hold:
// refused outright, accepted but not stored, stored with a bit wrong, or
// never read back. That one is reported, and the closing message, which
// speaks of the last stick written, is not given.
TEST_F(WizardTest, FailedWriteAfterAGoodOneIsReportedAndClosingClaimsNothing) {
    const std::pair<const char*, sim::StickFaults> cases[] = {
        {"writes fail", {.writesFail = true}},
        {"writes ignored", {.ignoreWrites = true}},
        {"bit flipped", {.flipBitAddress = 122}},
        {"no reply after the write", {.dropReplies = sim::StickFaults::kAlways}},
    };
    WriteConfig(kZeroConfig);
    OpenDialog();
    // From step 6: the stick pulled, the next one plugged in and found.
    auto nextStick = [&](const sim::StickFaults& faults) {
        stick_->Unplug();
        desktop_.AdvanceClock(500);
        ui_->PumpAll();
        stick_->SetEeprom(sim::Eeprom{});
        stick_->SetFaults(faults);
        stick_->Plug();
        dlg_->FindDevice();
        desktop_.ClearRecords();
    };
    for (const auto& [what, faults] : cases) {
        SCOPED_TRACE(what);
        if (&what != &cases[0].first) nextStick({});
        desktop_.ClearRecords();
        WalkWorkedExample();
        ASSERT_EQ(Boxes().size(), 1u) << Boxes().back().call.text;
        ASSERT_EQ(dlg_->m_bCalibrated, 1);

        nextStick(faults);
        WalkWorkedExample();
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].call.caption, "Debug");
        EXPECT_EQ(boxes[1].call.text, "Cannot write EEPROM!");
        EXPECT_EQ(boxes[1].call.caption, kTitle);
        EXPECT_EQ(boxes[1].call.type, static_cast<UINT>(MB_ICONHAND));
        EXPECT_EQ(dlg_->m_bCalibrated, 0);
        // Otherwise the flow is the same: step 6, link closed, poll running.
        EXPECT_EQ(Visible(), Steps({"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"}));
        EXPECT_EQ(CountJournal("SetTimer 1 500"), 1);
        EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr);
    }
    desktop_.ClearRecords();
    ui_->PostClose();
    ui_->PumpAll();
    EXPECT_TRUE(Boxes().empty()) << Boxes().front().call.text;
}

TEST_F(WizardTest, FastStickUnderLoad) {
    // The reader and the UI thread racing at a high report rate.
    sim::StickSettings fast = stick_->Settings();
    fast.reportsPerSecond = 1000;
    stick_->SetSettings(fast);
    WriteConfig(kZeroConfig);
    OpenDialog();
    WalkWorkedExample();
    EXPECT_EQ(EepromBlock(), (std::vector<std::uint8_t>{0x00, 0x40, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0x81,
                                                        0x82, 0x82, 0x80, 0, 0, 0, 0, 0}));
}
