// The terminal's status line: what it says for each state of the stick and
// for each way a Space press can end, fed the samples the front-end takes.
#include <gtest/gtest.h>

#include <vector>

#include "term/status_line.h"
#include "ui/resource.h"

namespace {

using term::StickSample;

StickSample At(int step, std::uint16_t x, std::uint16_t y, std::uint64_t presses = 0) {
    return {.found = true, .linkOpen = true, .x = x, .y = y, .step = step, .spacePresses = presses};
}

TEST(StatusLine, SaysWhatTheStickIsAndWhatSpaceDid) {
    const StickSample none{};
    const StickSample closed{.found = true, .linkOpen = false, .step = 6};
    const struct {
        const char* name;
        std::vector<StickSample> samples;
        const char* text;
    } cases[] = {
        {"no stick", {none}, "no stick found"},
        {"live axes", {At(1, 0x8000, 0x7F80)}, "stick X 8000  Y 7F80"},
        {"found, link closed", {closed}, "stick found, not open"},
        {"centre missed",
         {At(1, 0x9000, 0x8000), At(1, 0x9000, 0x8000, 1)},
         "stick X 9000  Y 8000   step 1: not centred: X 9000, Y 8000, needs 7C00 to 8400 for both"},
        {"up missed",
         {At(2, 0x8000, 0x5000), At(2, 0x8000, 0x5000, 1)},
         "stick X 8000  Y 5000   step 2: not far enough up: Y 5000, needs 4000 or less"},
        {"right missed",
         {At(3, 0x9F00, 0x8000), At(3, 0x9F00, 0x8000, 1)},
         "stick X 9F00  Y 8000   step 3: not far enough right: X 9F00, needs C000 or more"},
        {"down missed",
         {At(4, 0x8000, 0xBFFF), At(4, 0x8000, 0xBFFF, 1)},
         "stick X 8000  Y BFFF   step 4: not far enough down: Y BFFF, needs C000 or more"},
        {"left missed",
         {At(5, 0x4001, 0x8000), At(5, 0x4001, 0x8000, 1)},
         "stick X 4001  Y 8000   step 5: not far enough left: X 4001, needs 4000 or less"},
        // The outcome stays until the next press; two presses between
        // samples report the last.
        {"right missed, stick moved",
         {At(3, 0x9F00, 0x8000), At(3, 0x9F00, 0x8000, 1), At(3, 0xA000, 0x8000, 1)},
         "stick X A000  Y 8000   step 3: not far enough right: X 9F00, needs C000 or more"},
        {"right passed",
         {At(3, 0xFF00, 0x8000), At(4, 0xFF00, 0x8000, 1)},
         "stick X FF00  Y 8000   step 3: passed at X FF00, Y 8000"},
        // A press that came and went between two samples shows by its step.
        {"passed unseen",
         {At(2, 0x8000, 0x0080), At(3, 0x8000, 0x0080)},
         "stick X 8000  Y 0080   step 2: passed at X 8000, Y 0080"},
        {"stick gone", {At(3, 0x9F00, 0x8000), At(3, 0x9F00, 0x8000, 1), none}, "no stick found"},
        {"next stick",
         {At(5, 0x0000, 0x8000), At(6, 0x0000, 0x8000, 1), closed, At(1, 0x8000, 0x8000)},
         "stick X 8000  Y 8000"},
        // Space with no stick (a search) and in step 6 judges nothing.
        {"step 6", {At(6, 0x8000, 0x8000), At(6, 0x8000, 0x8000, 1)}, "stick X 8000  Y 8000"},
    };
    for (const auto& c : cases) {
        term::StatusLine line;
        for (const StickSample& s : c.samples) line.Update(s);
        EXPECT_EQ(line.Text(), c.text) << c.name;
    }
}

TEST(StatusLine, StepFromTheVisibleStepTexts) {
    EXPECT_EQ(term::StepOfVisibleTexts({IDC_STEP_PLUG, IDC_PIC_1}), 1);
    EXPECT_EQ(term::StepOfVisibleTexts({IDC_STEP_PLUG, IDC_STEP_UP, IDC_STEP_RIGHT}), 3);
    EXPECT_EQ(term::StepOfVisibleTexts(
                  {IDC_STEP_UP, IDC_STEP_RIGHT, IDC_STEP_DOWN, IDC_STEP_LEFT, IDC_STEP_UNPLUG}),
              6);
}

}  // namespace
