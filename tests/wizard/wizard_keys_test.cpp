// The key handler: the step gates at their bounds, and the terminal's
// status line telling of each press as the handler judged it; held keys,
// other keys, and Space while no stick is found.
#include "term/status_line.h"
#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

TEST_F(WizardTest, StepGatesIncludeTheirBoundsAndTheStatusLineSaysWhatTheyJudged) {
    const struct Gate {
        int step;  // 1..5
        std::uint16_t x, y;
        bool passes;
    } gates[] = {
        {1, 0x7C00, 0x7C00, true},  {1, 0x8400, 0x8400, true},  {1, 0x7BFF, 0x8000, false},
        {1, 0x8000, 0x8401, false}, {2, 0x8000, 0x4000, true},  {2, 0x8000, 0x4001, false},
        {3, 0xC000, 0x8000, true},  {3, 0xBFFF, 0x8000, false}, {4, 0x8000, 0xC000, true},
        {4, 0x8000, 0xBFFF, false}, {5, 0x4000, 0x8000, true},  {5, 0x4001, 0x8000, false},
    };
    // The text each step's pass shows.
    const int texts[] = {IDC_STEP_UP, IDC_STEP_RIGHT, IDC_STEP_DOWN, IDC_STEP_LEFT,
                         IDC_STEP_UNPLUG};
    OpenDialog();
    for (const Gate& g : gates) {
        SCOPED_TRACE(testing::Message()
                     << "step " << g.step << " at " << std::hex << g.x << "," << g.y);
        if (dlg_->m_pInBuf == nullptr) dlg_->FindDevice();  // step 5 closed the link
        // Step n is on screen when the first n - 1 step texts and picture n are.
        dlg_->ShowStep1Layout();
        for (int i = 0; i < g.step - 1; ++i) dlg_->GetDlgItem(texts[i])->ShowWindow(SW_SHOWNORMAL);
        dlg_->GetDlgItem(IDC_PIC_1)->ShowWindow(SW_HIDE);
        dlg_->GetDlgItem(IDC_PIC_1 + g.step - 1)->ShowWindow(SW_SHOWNORMAL);
        MoveStick(g.x, g.y);
        // The terminal's status line, fed the dialog as its sampler sees it,
        // must tell of the press as the handler judged it.
        term::StickSample sample{.found = true, .linkOpen = true, .x = g.x, .y = g.y};
        sample.step = term::StepOfVisibleTexts(ui_->VisibleIds());
        EXPECT_EQ(sample.step, g.step);
        term::StatusLine line;
        line.Update(sample);
        PressSpace();
        EXPECT_EQ(ui_->Control(texts[g.step - 1]).visible, g.passes);
        sample.linkOpen = dlg_->m_pInBuf != nullptr;
        sample.step = term::StepOfVisibleTexts(ui_->VisibleIds());
        EXPECT_EQ(sample.step, g.passes ? g.step + 1 : g.step);
        sample.spacePresses = 1;
        line.Update(sample);
        const std::string said =
            "step " + std::to_string(g.step) + (g.passes ? ": passed" : ": not");
        EXPECT_TRUE(line.Text().find(said) != std::string::npos) << "status line: " << line.Text();
        // A pass shows the next picture (none after step 5), a failure the same one.
        const int shown = g.passes ? g.step + 1 : g.step;
        for (int pic = 1; pic <= 5; ++pic) {
            EXPECT_EQ(ui_->Control(IDC_PIC_1 + pic - 1).visible, pic == shown) << "picture " << pic;
        }
    }
}

TEST_F(WizardTest, HeldSpaceIsJudgedOnceAndOtherKeysAreSwallowed) {
    OpenDialog();
    MoveStick(0x8000, 0x8000);
    for (int i = 0; i < 4; ++i) ui_->PostKeyDown(VK_SPACE);  // first press and three repeats
    ui_->PumpAll();
    EXPECT_EQ(Visible(), kStep2);
    EXPECT_EQ(CountJournal("ShowWindow 1015 0"), 2) << "once by the layout, once by the press";

    // Released and pressed again: judged again (step 2 fails at centre).
    ui_->PostKeyUp(VK_SPACE);
    ui_->PostKeyDown(VK_SPACE);
    ui_->PumpAll();
    EXPECT_EQ(CountJournal("ShowWindow 1015 0"), 3);
    EXPECT_EQ(Visible(), kStep2);

    // While a stick is found no other key reaches the dialog.
    for (UINT key : {UINT{VK_ESCAPE}, UINT{VK_RETURN}, UINT{VK_TAB}, UINT{'A'}, UINT{'7'}}) {
        ui_->PostKey(key);
        ui_->PumpAll();
        EXPECT_FALSE(ui_->Ended()) << "key " << key;
        EXPECT_EQ(Visible(), kStep2) << "key " << key;
    }

    // The stick pulled mid-wizard: the step and the last position stay.
    stick_->Unplug();
    desktop_.AdvanceClock(2000);
    ui_->PumpAll();
    EXPECT_EQ(Visible(), kStep2);
    EXPECT_EQ(dlg_->m_nCurY, 0x8000);
}

TEST_F(WizardTest, SpaceWithoutAStickSearchesOnEveryRepeatUntilFound) {
    stick_->Unplug();
    OpenDialog();
    ui_->PostKeyDown(VK_SPACE);
    ui_->PumpAll();
    EXPECT_EQ(dlg_->m_bDeviceFound, 0u);
    EXPECT_EQ(Visible(), kStep1);

    stick_->Plug();
    ui_->PostKeyDown(VK_SPACE);  // auto-repeat: searches again, finds, judges
    ui_->PostKeyDown(VK_SPACE);  // later repeats are swallowed
    const auto searched = std::chrono::steady_clock::now();
    ui_->PumpAll();
    EXPECT_EQ(dlg_->m_bDeviceFound, 1u);
    EXPECT_EQ(Visible(), kStep2);
    // The new reader is given half a second to publish before the press is
    // judged (a little less allows for a coarse clock).
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - searched)
                  .count(),
              480);
}

TEST_F(WizardTest, WithoutAStickKeysReachTheDialog) {
    stick_->Unplug();
    OpenDialog();
    ui_->PostKey(VK_ESCAPE);
    ui_->PumpAll();
    EXPECT_EQ(ui_->Result(), IDCANCEL);
}
