// Whole runs of the wizard: the worked example from the first Space press to
// the stick being unplugged, and what a second stick in the same run gets.
#include "tests/common/worked_example.h"
#include "tests/wizard/wizard_fixture.h"

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
    EXPECT_EQ(Boxes(), Strings{});
    EXPECT_EQ(Visible(), kStep1);
    ASSERT_EQ(dlg_->m_bDeviceFound, 1u);

    // What each press leaves on screen; the third is refused.
    const Strings after[] = {
        kStep2,
        {"PLUG", "UP", "RIGHT", "PIC_3"},
        {"PLUG", "UP", "RIGHT", "PIC_3"},
        {"PLUG", "UP", "RIGHT", "DOWN", "PIC_4"},
        {"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "PIC_5"},
        kStep6,
    };
    for (std::size_t i = 0; i < kWorkedWalk.size(); ++i) {
        Walk({kWorkedWalk[i]});
        EXPECT_EQ(Visible(), after[i]) << "after press " << i + 1;
    }
    PressSpace();  // in step 6: changes nothing, shows nothing

    EXPECT_EQ(Boxes(), Strings{Debug(kWorkedExampleDataText)});
    EXPECT_EQ(EepromBlock(), kWorkedExampleBlock);
    EXPECT_EQ(dlg_->m_bCalibrated, 1);
    EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr) << "the link stays open after the write";

    // Still plugged: the poll keeps step 6.
    Tick();
    EXPECT_EQ(Visible(), kStep6);
    // Unplugged: back to step 1, and no stick to be found.
    stick_->Unplug();
    Tick();
    EXPECT_EQ(Visible(), kStep1);
    EXPECT_EQ(dlg_->m_bDeviceFound, 0u);
    EXPECT_EQ(CountJournal("KillTimer 1"), 1);
}

// The last press of a stick has no key-up for the dialog (the DATA box it
// opens takes it): the next stick's first press must be judged all the same.
TEST_F(WizardTest, NextStickInTheSameRunKeepsTheLoadedValues) {
    WriteConfig(kLineConfig);
    OpenDialog();
    Walk({kWorkedWalk.begin(), kWorkedWalk.end() - 1});
    MoveStick(kWorkedWalk.back().first, kWorkedWalk.back().second);
    ui_->PostKeyDown(VK_SPACE);
    ui_->PumpAll();
    ASSERT_EQ(Visible(), kStep6);
    stick_->Unplug();
    Tick();
    ASSERT_EQ(Visible(), kStep1);

    // A second stick: plugged in, then held off-centre of the first one's values.
    stick_->SetEeprom(sim::Eeprom{});
    stick_->Plug();
    stick_->SetAxes(0x7C00, 0x8400);
    PressSpace();  // discovery, then the same press judged as step 1
    ASSERT_EQ(Visible(), kStep2);
    Walk({{0x7C00, 0x4000}, {0xC000, 0x8400}, {0x7C00, 0xC000}, {0x4000, 0x8400}});
    ASSERT_EQ(Visible(), kStep6);

    // Centre 7C00/8400: distances 15360 (XN, YP) and 17408 (XP, YN).
    EXPECT_EQ(EepromBlock(),
              (std::vector<std::uint8_t>{0x00, 0x3E, 0x00, 0x42, 0x00, 0x04, 0x20, 0x03, 0x07, 0x13,
                                         0xF3, 0xF3, 0x13, 0x00, 0x02, 0x10, 0x02, 0x03}));
}

// A stick written and kept, then the next whose block does not read back as
// written: that one is reported, and the closing message, which speaks of the
// last stick written, is not given. Each way a write can fail is the EEPROM
// tests' business; the wizard only learns that it did.
TEST_F(WizardTest, FailedWriteAfterAGoodOneIsReportedAndClosingClaimsNothing) {
    WriteConfig(kZeroConfig);
    OpenDialog();
    Walk();
    ASSERT_EQ(dlg_->m_bCalibrated, 1);

    // The stick pulled, the next one plugged in and found.
    stick_->Unplug();
    Tick();
    stick_->SetEeprom(sim::Eeprom{});
    stick_->SetFaults({.flipBitAddress = 122});
    stick_->Plug();
    dlg_->FindDevice();
    desktop_.ClearRecords();
    Walk();
    EXPECT_EQ(Boxes(), (Strings{Debug(kWorkedExampleDataText), Error("Cannot write EEPROM!")}));
    EXPECT_EQ(dlg_->m_bCalibrated, 0);
    // Otherwise the flow is the same: step 6, link closed, poll running.
    EXPECT_EQ(Visible(), kStep6);
    EXPECT_EQ(CountJournal("SetTimer 1 500"), 1);
    EXPECT_EQ(dlg_->m_pInBuf.load(), nullptr);

    desktop_.ClearRecords();
    ui_->PostClose();
    ui_->PumpAll();
    EXPECT_EQ(Boxes(), Strings{});
}

// What a program keeps of each stick: the configuration's bytes as loaded,
// then each write's outcome and values before the link closes; what it
// failed to keep is said in a box of the dialog's own after the write's.
TEST_F(WizardTest, ObserverHearsOfTheConfigurationAndEveryWriteItFailsToKeepIsSaid) {
    struct Keeper : WizardObserver {
        void ConfigurationLoaded(const std::vector<char>* bytes) override {
            config = bytes ? std::string(bytes->begin(), bytes->end()) : "(none)";
        }
        std::string BlockWritten(const CKx9JoystickCalibrationDlg& dlg,
                                 EepromOutcome outcome) override {
            outcomes.push_back(outcome);
            linkOpen.push_back(dlg.m_pInBuf.load() != nullptr);
            gains.push_back(dlg.m_Calib.MultInit_XN);
            return outcomes.size() == 2 ? "Cannot write the record r.csv: Disk full" : "";
        }
        std::string config;
        std::vector<EepromOutcome> outcomes;
        std::vector<bool> linkOpen;
        std::vector<int> gains;
    } keeper;
    WriteConfig(kZeroConfig);
    OpenDialog(&keeper);
    EXPECT_EQ(keeper.config, kZeroConfig);
    Walk();
    EXPECT_EQ(Boxes(), Strings{Debug(kWorkedExampleDataText)}) << "kept: nothing said";
    stick_->Unplug();
    Tick();
    stick_->SetEeprom(sim::Eeprom{});
    stick_->SetFaults({.ignoreWrites = true});
    stick_->Plug();
    dlg_->FindDevice();
    desktop_.ClearRecords();
    Walk();
    EXPECT_EQ(Boxes(), (Strings{Debug(kWorkedExampleDataText), Error("Cannot write EEPROM!"),
                                Error("Cannot write the record r.csv: Disk full")}));
    EXPECT_EQ(keeper.outcomes,
              (std::vector<EepromOutcome>{EepromOutcome::kDone, EepromOutcome::kDiffers}));
    EXPECT_EQ(keeper.linkOpen, (std::vector<bool>{true, true}));
    EXPECT_EQ(keeper.gains, (std::vector<int>{0x81, 0x81}));
}
