#include "term/status_line.h"

#include <algorithm>
#include <cstdio>

#include "ui/wizard_steps.h"

namespace term {
namespace {

template <typename... Values>
std::string Format(const char* format, Values... values) {
    char text[96];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(values)...);
    return text;
}

// The bound a missed press fell short of, as the key handler judged it.
std::string Missed(int step, const StickSample& s) {
    using namespace wizard;
    switch (step) {
        case 1:
            return Format("step 1: not centred: X %04X, Y %04X, needs %04X to %04X for both", s.x,
                          s.y, kCentreLow, kCentreHigh);
        case 2:
            return Format("step 2: not far enough up: Y %04X, needs %04X or less", s.y,
                          kLowExtreme);
        case 3:
            return Format("step 3: not far enough right: X %04X, needs %04X or more", s.x,
                          kHighExtreme);
        case 4:
            return Format("step 4: not far enough down: Y %04X, needs %04X or more", s.y,
                          kHighExtreme);
        default:
            return Format("step 5: not far enough left: X %04X, needs %04X or less", s.x,
                          kLowExtreme);
    }
}

}  // namespace

int StepOfVisibleTexts(const std::vector<int>& visibleIds) {
    return wizard::StepShown([&](int id) {
        return std::find(visibleIds.begin(), visibleIds.end(), id) != visibleIds.end();
    });
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
    } else if ((pressed || movedOn) && judged >= 1 && judged <= wizard::kJudgedSteps &&
               m_last.found) {
        if (movedOn) {
            m_outcome = Format("step %u: passed at X %04X, Y %04X", judged, sample.x, sample.y);
        } else if (!wizard::StepPasses(judged, sample.x, sample.y)) {
            // A press whose outcome the step texts do not show yet.
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
