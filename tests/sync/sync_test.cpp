// The sync seam as the link and the transfers rely on it: reset modes, which
// handle a multiple wait reports and consumes, thread handles, and many
// threads waiting on one event at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/sync.h"

namespace {

using plat::Handle;
using plat::kWaitObject0;
using plat::kWaitTimeout;
using plat::WaitForMultipleObjects;
using plat::WaitForSingleObject;

// Long enough never to be reached on a loaded machine; only a hang hits it.
constexpr std::uint32_t kGenerous = 30000;

TEST(Events, ResetModesAndBadHandles) {
    for (const bool manual : {false, true}) {
        SCOPED_TRACE(manual ? "manual-reset" : "auto-reset");
        const Handle e = plat::NewEvent(manual);
        EXPECT_EQ(WaitForSingleObject(e, 20), kWaitTimeout) << "created signalled";
        EXPECT_TRUE(plat::SetEvent(e));
        EXPECT_TRUE(plat::SetEvent(e));  // setting twice is still one signal
        EXPECT_EQ(WaitForSingleObject(e, 0), kWaitObject0);
        EXPECT_EQ(WaitForSingleObject(e, 0), manual ? kWaitObject0 : kWaitTimeout);
        EXPECT_TRUE(plat::ResetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), kWaitTimeout) << "reset ignored";
        EXPECT_TRUE(plat::CloseHandle(e));
    }
    for (const Handle bad : {Handle{}, plat::InvalidHandle()}) {
        EXPECT_FALSE(plat::CloseHandle(bad));
        EXPECT_EQ(WaitForSingleObject(bad, 0), plat::kWaitFailed);
    }
}

TEST(Events, MultipleWaitLowerIndexWinsAndOnlyItIsConsumed) {
    const Handle list[] = {plat::NewEvent(false), plat::NewEvent(false), plat::NewEvent(true)};
    for (Handle h : list) plat::SetEvent(h);
    EXPECT_EQ(WaitForMultipleObjects(3, list, 0), kWaitObject0 + 0);
    EXPECT_EQ(WaitForMultipleObjects(3, list, 0), kWaitObject0 + 1)
        << "the second event was consumed along with the first";
    EXPECT_EQ(WaitForMultipleObjects(3, list, 0), kWaitObject0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, list, 0), kWaitObject0 + 2) << "manual-reset: stays set";
    plat::ResetEvent(list[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, list, 20), kWaitTimeout);
    for (Handle h : list) plat::CloseHandle(h);
}

struct Gate {
    Handle entered = plat::NewEvent(true), go = plat::NewEvent(true);
    std::atomic<int> value{0};
};

std::uint32_t WaitAtGate(void* gate) {
    auto* g = static_cast<Gate*>(gate);
    plat::SetEvent(g->entered);
    WaitForSingleObject(g->go, plat::kInfinite);
    g->value = 42;
    return 0;
}

TEST(Threads, HandleIsSignalledOnceTheThreadHasEnded) {
    Gate gate;
    const Handle thread = plat::StartThread(WaitAtGate, &gate);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(plat::RaiseThreadPriority(thread));
    ASSERT_EQ(WaitForSingleObject(gate.entered, kGenerous), kWaitObject0) << "did not start";
    EXPECT_EQ(WaitForSingleObject(thread, 0), kWaitTimeout) << "signalled early";
    // An ended thread's handle counts in a multiple wait too.
    const Handle list[] = {gate.entered, thread};
    plat::ResetEvent(gate.entered);
    plat::SetEvent(gate.go);
    ASSERT_EQ(WaitForSingleObject(thread, kGenerous), kWaitObject0);
    EXPECT_EQ(gate.value, 42);
    EXPECT_EQ(WaitForSingleObject(thread, 0), kWaitObject0) << "not left signalled";
    EXPECT_EQ(WaitForMultipleObjects(2, list, 0), kWaitObject0 + 1);
    for (Handle h : {thread, gate.entered, gate.go}) plat::CloseHandle(h);
}

// Threads taking turns with one token, an auto-reset event they all wait on:
// a wait that consumed too much would lose it and stall the run, one that
// consumed too little would multiply it and overshoot the count.
struct Turns {
    static constexpr int kPasses = 4000;
    Handle stop = plat::NewEvent(true), token = plat::NewEvent(false), done = plat::NewEvent(true);
    std::atomic<int> passes{0};
};

std::uint32_t TakeTurns(void* turns) {
    Turns& t = *static_cast<Turns*>(turns);
    const Handle list[] = {t.stop, t.token};
    while (WaitForMultipleObjects(2, list, plat::kInfinite) == kWaitObject0 + 1) {
        plat::SetEvent(++t.passes == Turns::kPasses ? t.done : t.token);
    }
    return 0;
}

TEST(Threads, ManyThreadsSignallingAndWaitingAtOnce) {
    Turns turns;
    std::vector<Handle> threads;
    for (int i = 0; i < 4; ++i) threads.push_back(plat::StartThread(TakeTurns, &turns));
    plat::SetEvent(turns.token);
    EXPECT_EQ(WaitForSingleObject(turns.done, 120000), kWaitObject0)
        << "the token was lost after " << turns.passes << " passes";
    plat::SetEvent(turns.stop);
    for (Handle t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, kGenerous), kWaitObject0);
        plat::CloseHandle(t);
    }
    EXPECT_EQ(turns.passes, Turns::kPasses) << "the token multiplied";
    for (Handle h : {turns.stop, turns.token, turns.done}) plat::CloseHandle(h);
}

}  // namespace
