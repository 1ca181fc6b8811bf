#include "term/status_line.h"

#include <algorithm>
#include <cstdio>

#include "ui/resource.h"

namespace term {
namespace {

// The wizard's limits, as its key handler judges a press.
constexpr unsigned kCentreLow = 0x7C00;
constexpr unsigned kCentreHigh = 0x8400;
constexpr unsigned kLowExtreme = 0x4000;
constexpr unsigned kHighExtreme = 0xC000;

constexpr int kStepTexts[] = {IDC_STEP_UP, IDC_STEP_RIGHT, IDC_STEP_DOWN, IDC_STEP_LEFT,
                              IDC_STEP_UNPLUG};

std::string Format(const char* format, unsigned a, unsigned b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Missed(int step, const StickSample& s) {
    switch (step) {
        case 1:
            return Format("step 1: not centred: X %04X, Y %04X, needs 7C00 to 8400 for both", s.x,
                          s.y);
        case 2:
            return Format("step 2: not far enough up: Y %04X, needs 4000 or less", s.y);
        case 3:
            return Format("step 3: not far enough right: X %04X, needs C000 or more", s.x);
        case 4:
            return Format("step 4: not far enough down: Y %04X, needs C000 or more", s.y);
        default:
            return Format("step 5: not far enough left: X %04X, needs 4000 or less", s.x);
    }
}

// Whether the press would pass at these axes, for a press whose outcome the
// step texts do not show yet.
bool Passes(int step, const StickSample& s) {
    switch (step) {
        case 1:
            return s.x >= kCentreLow && s.x <= kCentreHigh && s.y >= kCentreLow &&
                   s.y <= kCentreHigh;
        case 2:
            return s.y <= kLowExtreme;
        case 3:
            return s.x >= kHighExtreme;
        case 4:
            return s.y >= kHighExtreme;
        default:
            return s.x <= kLowExtreme;
    }
}

}  // namespace

int StepOfVisibleTexts(const std::vector<int>& visibleIds) {
    for (int i = 0; i < 5; ++i) {
        if (std::find(visibleIds.begin(), visibleIds.end(), kStepTexts[i]) == visibleIds.end()) {
            return i + 1;
        }
    }
    return 6;
}

void StatusLine::Update(const StickSample& sample) {
    const bool pressed = sample.spacePresses != m_last.spacePresses;
    const bool movedOn = sample.step == m_last.step + 1;
    const int judged = m_last.step;
    // Only the unplug poll takes a found stick away; a Space without one
    // searches.
    if (m_last.found && !sample.found) {
        m_goneUnseen = true;
    } else if (sample.found || pressed) {
        m_goneUnseen = false;
    }
    if (!sample.found) {
        m_outcome.clear();
    } else if ((pressed || movedOn) && judged >= 1 && judged <= 5 && m_last.found) {
        if (movedOn) {
            m_outcome =
                Format("step %d: passed at X %04X", static_cast<unsigned>(judged), sample.x) +
                Format(", Y %04X", sample.y);
        } else if (!Passes(judged, sample)) {
            m_outcome = Missed(judged, sample);
        }
    } else if (sample.step < m_last.step) {
        // Back to step 1 for the next stick.
        m_outcome.clear();
    }
    m_last = sample;
}

std::string StatusLine::Text() const {
    std::string text;
    if (!m_last.found) {
        text = m_goneUnseen ? "stick unplugged, not looked for since: Space looks again"
                            : "no stick found: Space looks again";
    } else if (!m_last.linkOpen) {
        text = "stick found, not open";
    } else if (m_last.linkLost) {
        // The dialog stays in its step with these values whatever is plugged
        // in now; only a new start reads a stick again.
        text = Format("stick lost, steps judge its last X %04X  Y %04X: close and start again",
                      m_last.x, m_last.y);
    } else {
        text = Format("stick X %04X  Y %04X", m_last.x, m_last.y);
    }
    if (!m_outcome.empty()) text += "   " + m_outcome;
    return text;
}

}  // namespace term
