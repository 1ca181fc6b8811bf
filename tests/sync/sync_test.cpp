// The sync seam as the link and the transfers rely on it: reset modes, which
// handle a multiple wait reports and consumes, time-outs, thread handles, and
// many threads signalling each other at once.
#include <atomic>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sync.h"

namespace {

using plat::Handle;

// Long enough never to be reached on a loaded machine; only a hang hits it.
constexpr std::uint32_t kGenerous = 30000;

struct EventGuard {
    explicit EventGuard(bool manual) : h(plat::NewEvent(manual)) {}
    ~EventGuard() { plat::CloseHandle(h); }
    Handle h;
};

TEST(Events, ResetModes) {
    struct Case {
        const char* name;
        bool manual;
        std::uint32_t secondWait;  // after one SetEvent and one satisfied wait
    };
    const Case cases[] = {
        {"auto-reset", false, plat::kWaitTimeout},
        {"manual-reset", true, plat::kWaitObject0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EventGuard e(c.manual);
        ASSERT_NE(e.h, nullptr);
        EXPECT_EQ(plat::WaitForSingleObject(e.h, 0), plat::kWaitTimeout) << "created signalled";
        EXPECT_TRUE(plat::SetEvent(e.h));
        EXPECT_EQ(plat::WaitForSingleObject(e.h, 0), plat::kWaitObject0);
        EXPECT_EQ(plat::WaitForSingleObject(e.h, 0), c.secondWait);
        EXPECT_TRUE(plat::SetEvent(e.h));
        EXPECT_TRUE(plat::SetEvent(e.h));  // setting twice is still one signal
        EXPECT_TRUE(plat::ResetEvent(e.h));
        EXPECT_EQ(plat::WaitForSingleObject(e.h, 0), plat::kWaitTimeout) << "reset ignored";
    }
}

TEST(Events, MultipleWaitLowerIndexWinsAndOnlyItIsConsumed) {
    EventGuard stop(false), read(false), manual(true);
    Handle list[] = {stop.h, read.h};

    plat::SetEvent(read.h);
    plat::SetEvent(stop.h);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitObject0 + 0);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitObject0 + 1)
        << "the second event was consumed along with the first";
    EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitTimeout);

    // A manual-reset event in front keeps winning and stays set; the
    // auto-reset one behind it is left alone.
    Handle mixed[] = {manual.h, read.h};
    plat::SetEvent(manual.h);
    plat::SetEvent(read.h);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, mixed, 0), plat::kWaitObject0 + 0);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, mixed, 0), plat::kWaitObject0 + 0);
    plat::ResetEvent(manual.h);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, mixed, 0), plat::kWaitObject0 + 1);
}

TEST(Events, WaitsWithALimitReturnTimeout) {
    EventGuard a(false), b(true);
    Handle list[] = {a.h, b.h};
    for (std::uint32_t limit : {0u, 1u, 20u}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(plat::WaitForSingleObject(a.h, limit), plat::kWaitTimeout);
        EXPECT_EQ(plat::WaitForMultipleObjects(2, list, limit), plat::kWaitTimeout);
    }
}

TEST(Events, BadHandlesFailWithoutCrashing) {
    EventGuard good(false);

    struct Case {
        const char* name;
        Handle h;
    };
    const Case cases[] = {{"null", nullptr}, {"invalid", plat::InvalidHandle()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(plat::CloseHandle(c.h));
        EXPECT_FALSE(plat::SetEvent(c.h));
        EXPECT_FALSE(plat::ResetEvent(c.h));
        EXPECT_FALSE(plat::RaiseThreadPriority(c.h));
        EXPECT_EQ(plat::WaitForSingleObject(c.h, 0), plat::kWaitFailed);
        Handle list[] = {good.h, c.h};
        EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitFailed);
    }
    EXPECT_EQ(plat::WaitForMultipleObjects(0, nullptr, 0), plat::kWaitFailed);
    EXPECT_FALSE(plat::RaiseThreadPriority(good.h)) << "an event is not a thread";
    EXPECT_EQ(plat::StartThread(nullptr, nullptr), nullptr);
}

struct Gate {
    Handle go = plat::NewEvent(true);
    Handle entered = plat::NewEvent(true);
    std::atomic<int> value{0};
    ~Gate() {
        plat::CloseHandle(go);
        plat::CloseHandle(entered);
    }
};

std::uint32_t WaitAtGate(void* argument) {
    auto* gate = static_cast<Gate*>(argument);
    plat::SetEvent(gate->entered);
    plat::WaitForSingleObject(gate->go, plat::kInfinite);
    gate->value.store(42);
    return 0;
}

TEST(Threads, HandleIsSignalledOnceTheThreadHasEnded) {
    Gate gate;
    Handle thread = plat::StartThread(WaitAtGate, &gate);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(plat::RaiseThreadPriority(thread));
    ASSERT_EQ(plat::WaitForSingleObject(gate.entered, kGenerous), plat::kWaitObject0)
        << "the thread did not start";
    EXPECT_EQ(plat::WaitForSingleObject(thread, 0), plat::kWaitTimeout) << "signalled early";

    // A thread handle behind an event: the event wins while both are set.
    EventGuard other(true);
    Handle list[] = {other.h, thread};
    plat::SetEvent(gate.go);
    ASSERT_EQ(plat::WaitForSingleObject(thread, kGenerous), plat::kWaitObject0);
    EXPECT_EQ(gate.value.load(), 42);
    EXPECT_EQ(plat::WaitForSingleObject(thread, 0), plat::kWaitObject0) << "not left signalled";
    EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitObject0 + 1);
    plat::SetEvent(other.h);
    EXPECT_EQ(plat::WaitForMultipleObjects(2, list, 0), plat::kWaitObject0 + 0);
    EXPECT_TRUE(plat::CloseHandle(thread));
}

TEST(Threads, ClosingTheHandleOfARunningThreadLeavesItRunning) {
    Gate gate;
    Handle thread = plat::StartThread(WaitAtGate, &gate);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(plat::WaitForSingleObject(gate.entered, kGenerous), plat::kWaitObject0);
    EXPECT_TRUE(plat::CloseHandle(thread));
    EXPECT_FALSE(plat::CloseHandle(thread)) << "closed twice";

    // The thread still runs and still finishes its work. Its last store comes
    // after the wait, so poll for it rather than for a handle we gave up.
    plat::SetEvent(gate.go);
    for (int i = 0; i < 3000 && gate.value.load() != 42; ++i) plat::Sleep(10);
    EXPECT_EQ(gate.value.load(), 42);
}

// A ring of threads passing one token through auto-reset events: if a wait
// consumed too much, the token would vanish and the ring stall; if too
// little, it would multiply and overshoot the count.
struct Ring {
    static constexpr int kThreads = 4;
    static constexpr int kPasses = 4000;
    Handle stop = plat::NewEvent(true);
    Handle done = plat::NewEvent(true);
    Handle token[kThreads] = {};
    std::atomic<int> passes{0};
    std::atomic<int> extraWakeups{0};
    struct Seat {
        Ring* ring;
        int index;
    } seats[kThreads] = {};
};

std::uint32_t RingSeat(void* argument) {
    auto* seat = static_cast<Ring::Seat*>(argument);
    Ring& ring = *seat->ring;
    Handle list[] = {ring.stop, ring.token[seat->index]};
    for (;;) {
        const std::uint32_t r = plat::WaitForMultipleObjects(2, list, plat::kInfinite);
        if (r != plat::kWaitObject0 + 1) return r == plat::kWaitObject0 ? 0 : 1;
        const int n = ring.passes.fetch_add(1) + 1;
        if (n > Ring::kPasses) ring.extraWakeups.fetch_add(1);
        if (n == Ring::kPasses) {
            plat::SetEvent(ring.done);
        } else if (n < Ring::kPasses) {
            plat::SetEvent(ring.token[(seat->index + 1) % Ring::kThreads]);
        }
    }
}

TEST(Threads, ManyThreadsSignallingAndWaitingAtOnce) {
    Ring ring;
    std::vector<Handle> threads;
    for (int i = 0; i < Ring::kThreads; ++i) {
        ring.token[i] = plat::NewEvent(false);
        ring.seats[i] = {&ring, i};
    }
    for (int i = 0; i < Ring::kThreads; ++i) {
        threads.push_back(plat::StartThread(RingSeat, &ring.seats[i]));
        EXPECT_NE(threads.back(), nullptr);
    }
    plat::SetEvent(ring.token[0]);
    EXPECT_EQ(plat::WaitForSingleObject(ring.done, 120000), plat::kWaitObject0)
        << "the token was lost after " << ring.passes.load() << " passes";
    plat::SetEvent(ring.stop);
    for (Handle t : threads) {
        EXPECT_EQ(plat::WaitForSingleObject(t, kGenerous), plat::kWaitObject0);
        plat::CloseHandle(t);
    }
    EXPECT_EQ(ring.passes.load(), Ring::kPasses);
    EXPECT_EQ(ring.extraWakeups.load(), 0);
    for (Handle t : ring.token) plat::CloseHandle(t);
    plat::CloseHandle(ring.stop);
    plat::CloseHandle(ring.done);
}

}  // namespace
