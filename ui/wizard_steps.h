// The wizard's steps as the dialog shows them, and where the stick must be
// for Space to pass each: the key handler judges by these, and whatever
// tells the user what a press did must judge by the same.
#pragma once

#include <cstdint>

#include "ui/resource.h"

namespace wizard {

// Step 1 wants both axes inside the centre gate; steps 2 to 5 one axis at or
// beyond an extreme.
inline constexpr std::uint16_t kCentreLow = 0x7C00;
inline constexpr std::uint16_t kCentreHigh = 0x8400;
inline constexpr std::uint16_t kLowExtreme = 0x4000;   // up, left
inline constexpr std::uint16_t kHighExtreme = 0xC000;  // right, down

inline constexpr int kJudgedSteps = 5;
// The step is never stored: step n (1..6) is on screen when the first n - 1
// of these texts are visible, each shown by the pass of the step before.
inline constexpr int kStepTexts[kJudgedSteps] = {IDC_STEP_UP, IDC_STEP_RIGHT, IDC_STEP_DOWN,
                                                 IDC_STEP_LEFT, IDC_STEP_UNPLUG};

// The step on screen, 1..6, where visible(id) says whether the step text
// with that control id is visible.
template <typename Visible>
int StepShown(const Visible& visible) {
    for (int i = 0; i < kJudgedSteps; ++i) {
        if (!visible(kStepTexts[i])) return i + 1;
    }
    return kJudgedSteps + 1;
}

constexpr bool InCentre(std::uint16_t v) {
    return v >= kCentreLow && v <= kCentreHigh;
}

// Whether Space in step 1..5 passes with the stick at x, y.
constexpr bool StepPasses(int step, std::uint16_t x, std::uint16_t y) {
    switch (step) {
        case 1:
            return InCentre(x) && InCentre(y);
        case 2:
            return y <= kLowExtreme;
        case 3:
            return x >= kHighExtreme;
        case 4:
            return y >= kHighExtreme;
        case 5:
            return x <= kLowExtreme;
        default:
            return false;
    }
}

}  // namespace wizard
