// Handles closed while a wait sleeps on them: the rebuilt events keep what
// a wait sleeps on alive until it wakes. Windows leaves such a close
// undefined, so these run on the rebuilt events alone.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/sync.h"

namespace {

using plat::Handle;
using plat::kWaitObject0;
using plat::WaitForMultipleObjects;
using plat::WaitForSingleObject;

// Long enough never to be reached on a loaded machine; only a hang hits it.
constexpr std::uint32_t kGenerous = 30000;

struct Gate {
    Handle entered = plat::NewEvent(true), go = plat::NewEvent(true);
};

std::uint32_t WaitAtGate(void* gate) {
    auto* g = static_cast<Gate*>(gate);
    plat::SetEvent(g->entered);
    WaitForSingleObject(g->go, plat::kInfinite);
    return 0;
}

// A wait asleep on two events, and on a thread, while their handles are
// closed: the wait keeps what it sleeps on alive (the sanitizer build
// catches a free under it), still wakes for the one event left, and the
// closed handles fail every call from then on.
struct Sleeping {
    Handle entered = plat::NewEvent(true), closed = plat::NewEvent(false),
           left = plat::NewEvent(false);
    Handle worker = nullptr;  // blocked at `entered` until the test lets it go
    std::uint32_t woke = 0;
};

std::uint32_t SleepOnThree(void* sleeping) {
    auto* s = static_cast<Sleeping*>(sleeping);
    const Handle list[] = {s->closed, s->worker, s->left};
    plat::SetEvent(s->entered);
    s->woke = WaitForMultipleObjects(3, list, kGenerous);
    return 0;
}

TEST(Events, HandlesClosedUnderASleepingWait) {
    Sleeping s;
    Gate gate;
    s.worker = plat::StartThread(WaitAtGate, &gate);
    const Handle sleeper = plat::StartThread(SleepOnThree, &s);
    ASSERT_NE(sleeper, nullptr);
    ASSERT_EQ(WaitForSingleObject(s.entered, kGenerous), kWaitObject0);
    const Handle closed = s.closed, worker = s.worker;
    // The sleeper may or may not be asleep yet: either way nothing it
    // looks at may be freed under it.
    EXPECT_TRUE(plat::CloseHandle(closed));
    EXPECT_TRUE(plat::CloseHandle(worker));
    EXPECT_FALSE(plat::SetEvent(closed)) << "a closed event still answers";
    EXPECT_EQ(WaitForSingleObject(closed, 0), plat::kWaitFailed);
    EXPECT_EQ(WaitForSingleObject(worker, 0), plat::kWaitFailed);
    plat::SetEvent(gate.go);  // the closed thread ends, under the wait
    plat::SetEvent(s.left);
    ASSERT_EQ(WaitForSingleObject(sleeper, kGenerous), kWaitObject0);
    EXPECT_TRUE(s.woke == kWaitObject0 + 1 || s.woke == kWaitObject0 + 2 ||
                s.woke == plat::kWaitFailed)
        << s.woke;
    for (Handle h : {sleeper, s.entered, s.left, gate.entered, gate.go}) plat::CloseHandle(h);
}

}  // namespace
