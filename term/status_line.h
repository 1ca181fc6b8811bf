// The terminal's own status line under the dialog: the live X and Y of the
// stick in use, what the dialog knows when it has none (it looks only when
// Space is pressed, and judges a lost stick's last values), and what the last
// Space did to the step shown ("step 3: not far enough right: X 9F00, needs
// C000 or more"). Fed with samples of the dialog taken on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace term {

struct StickSample {
    bool found = false;     // discovery found a stick
    bool linkOpen = false;  // and its reader runs
    bool linkLost = false;  // whose reads fail: the stick went away under it
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    int step = 1;  // 1..6, as the visible step texts say
    // Space presses the dialog has been given so far (key-downs that are
    // not repeats); a sample taken with the dialog idle has seen them all.
    std::uint64_t spacePresses = 0;
};

// The step that the dialog's visible controls stand for, decoded as the
// wizard decodes it.
int StepOfVisibleTexts(const std::vector<int>& visibleIds);

class StatusLine {
  public:
    // A new sample; a Space press since the last one (or the step moving on
    // by one) is described.
    void Update(const StickSample& sample);
    std::string Text() const;

  private:
    StickSample m_last;
    std::string m_outcome;
    // The stick went away (the unplug poll saw it) and no Space has looked
    // for one since.
    bool m_goneUnseen = false;
};

}  // namespace term
