// Events and thread handles with Windows semantics, rebuilt on the standard
// library. Every object lives under one process-wide mutex, which makes
// "look at all handles, take the first signalled one and consume only it"
// atomic; the link has a handful of objects and a few state changes per
// input report, so the lock never contends enough to matter. What would
// matter is waking threads for nothing: each wait sleeps on a condition
// variable of its own, listed on every object it waits for, and a signal
// wakes only the waits listed on its object.
//
// A handle is a pointer to an Object. Handles are checked against the set of
// live objects before use, so a stale or made-up handle fails the call instead
// of touching freed memory. Each object is reference counted: the handle holds
// one reference, a running thread one on its own object, and every wait one on
// each object it waits for, so CloseHandle while another thread waits (or
// while the thread still runs) never frees anything still in use.
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/sync.h"

namespace plat {
namespace {

// Windows' own limit for one wait.
constexpr std::uint32_t kMaxWaitObjects = 64;

enum class Kind { kEvent, kThread };

// What a thread's waits sleep on. A signal wakes it after letting go of the
// mutex, so that the wait does not wake only to find the mutex held; the
// sleeper may have stopped waiting by then, even ended its thread, so
// sleepers are never freed: a thread that ends leaves its sleeper to the
// next thread, and a late wake-up costs a wait one more look at what it
// waits for.
struct Sleeper {
    std::condition_variable wake;
    Sleeper* nextFree = nullptr;
};

// A wait's entry in the list of one object it waits for.
struct Listing {
    Sleeper* sleeper = nullptr;
    Listing* previous = nullptr;
    Listing* next = nullptr;
};

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
    int references = 1;           // the handle's own
    Listing* sleepers = nullptr;  // the waits asleep on this object
};

struct Event final : Object {
    explicit Event(bool manual) : Object(Kind::kEvent), manualReset(manual) {}
    const bool manualReset;
    bool signalled = false;
};

struct Thread final : Object {
    Thread() : Object(Kind::kThread) {}
    std::thread thread;  // owned by the handle; joined or detached by CloseHandle
    bool ended = false;
    bool started = false;         // tid is valid
    bool raiseRequested = false;  // applied by the thread itself if it had not started yet
    pid_t tid = 0;
};

struct State {
    std::mutex mutex;
    std::unordered_set<Object*> live;
    Sleeper* freeSleepers = nullptr;
};

// Never destroyed: a detached worker may still touch it while the process
// runs its static destructors.
State& S() {
    static State* state = new State;
    return *state;
}

// Caller holds the mutex.
Object* Lookup(Handle handle) {
    if (handle == nullptr || handle == InvalidHandle()) return nullptr;
    auto* object = static_cast<Object*>(handle);
    return S().live.count(object) != 0 ? object : nullptr;
}

// Caller holds the mutex.
void Unref(Object* object) {
    if (--object->references == 0) delete object;
}

// Caller holds the mutex, here and in Unlist.
void List(Object* object, Listing* listing) {
    listing->previous = nullptr;
    listing->next = object->sleepers;
    if (object->sleepers != nullptr) object->sleepers->previous = listing;
    object->sleepers = listing;
}

void Unlist(Object* object, Listing* listing) {
    if (listing->previous != nullptr) {
        listing->previous->next = listing->next;
    } else {
        object->sleepers = listing->next;
    }
    if (listing->next != nullptr) listing->next->previous = listing->previous;
}

// The calling thread's sleeper. Caller holds the mutex.
Sleeper& OwnSleeper() {
    struct Slot {
        Sleeper* sleeper = nullptr;
        ~Slot() {
            if (sleeper == nullptr) return;
            std::lock_guard<std::mutex> lock(S().mutex);
            sleeper->nextFree = S().freeSleepers;
            S().freeSleepers = sleeper;
        }
    };
    thread_local Slot slot;
    if (slot.sleeper == nullptr) {
        slot.sleeper = S().freeSleepers;
        if (slot.sleeper != nullptr) {
            S().freeSleepers = slot.sleeper->nextFree;
        } else {
            slot.sleeper = new Sleeper;
        }
    }
    return *slot.sleeper;
}

// The waits one signal wakes: gathered under the mutex, woken once it is
// free. The few that do not fit are woken at once.
class Wakes {
  public:
    Wakes() = default;
    Wakes(const Wakes&) = delete;
    Wakes& operator=(const Wakes&) = delete;
    ~Wakes() {
        for (int i = 0; i < count_; ++i) sleepers_[i]->wake.notify_one();
    }
    // Caller holds the mutex: the waits on this object alone.
    void Gather(Object* object) {
        for (Listing* listing = object->sleepers; listing != nullptr; listing = listing->next) {
            if (count_ == kMax) {
                listing->sleeper->wake.notify_one();
            } else {
                sleepers_[count_++] = listing->sleeper;
            }
        }
    }

  private:
    static constexpr int kMax = 8;
    Sleeper* sleepers_[kMax];
    int count_ = 0;
};

// Caller holds the mutex. Consumes an auto-reset event it reports.
bool TakeIfSignalled(Object* object) {
    if (object->kind == Kind::kThread) return static_cast<Thread*>(object)->ended;
    auto* event = static_cast<Event*>(object);
    if (!event->signalled) return false;
    if (!event->manualReset) event->signalled = false;
    return true;
}

// "Above normal" is one step up; Linux steps are nice values, and lowering
// nice needs privileges an ordinary user lacks, so failure is expected and
// ignored. Caller holds the mutex and knows the thread has not ended.
void ApplyRaise(const Thread& thread) {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid));
    if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid), current - 1);
}

pid_t CurrentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

void RunThread(Thread* self, ThreadProc proc, void* argument) {
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        self->tid = CurrentTid();
        self->started = true;
        if (self->raiseRequested) ApplyRaise(*self);
    }
    proc(argument);
    Wakes wakes;
    std::lock_guard<std::mutex> lock(S().mutex);
    self->ended = true;
    wakes.Gather(self);
    Unref(self);
}

}  // namespace

Handle NewEvent(bool manualReset) {
    auto* event = new Event(manualReset);
    std::lock_guard<std::mutex> lock(S().mutex);
    S().live.insert(event);
    return event;
}

bool SetEvent(Handle handle) {
    Wakes wakes;  // destroyed after the lock: wakes its waits outside it
    std::lock_guard<std::mutex> lock(S().mutex);
    Object* object = Lookup(handle);
    if (object == nullptr || object->kind != Kind::kEvent) return false;
    static_cast<Event*>(object)->signalled = true;
    wakes.Gather(object);
    return true;
}

bool ResetEvent(Handle handle) {
    std::lock_guard<std::mutex> lock(S().mutex);
    Object* object = Lookup(handle);
    if (object == nullptr || object->kind != Kind::kEvent) return false;
    static_cast<Event*>(object)->signalled = false;
    return true;
}

// A thread handle closed while its thread runs detaches the thread, which goes
// on running. Whoever closes it must make sure (for instance by waiting on the
// handle first) that the thread no longer uses anything it then frees.
bool CloseHandle(Handle handle) {
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        Object* object = Lookup(handle);
        if (object == nullptr) return false;
        S().live.erase(object);
        if (object->kind == Kind::kThread) {
            auto* thread = static_cast<Thread*>(object);
            if (thread->ended) {
                finished = std::move(thread->thread);
            } else if (thread->thread.joinable()) {
                thread->thread.detach();
            }
        }
        Unref(object);
    }
    // The thread has only its return left to do; joining it lets the
    // runtime release its stack now rather than at exit.
    if (finished.joinable()) {
        if (finished.get_id() == std::this_thread::get_id()) {
            finished.detach();
        } else {
            finished.join();
        }
    }
    return true;
}

std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    return WaitForMultipleObjects(1, &handle, milliseconds);
}

std::uint32_t WaitForMultipleObjects(std::uint32_t count, const Handle* handles,
                                     std::uint32_t milliseconds) {
    if (count == 0 || count > kMaxWaitObjects || handles == nullptr) return kWaitFailed;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);

    std::unique_lock<std::mutex> lock(S().mutex);
    Object* objects[kMaxWaitObjects];
    for (std::uint32_t i = 0; i < count; ++i) {
        objects[i] = Lookup(handles[i]);
        if (objects[i] == nullptr) return kWaitFailed;
    }
    // Keep the objects alive even if another thread closes their handles
    // while this one sleeps.
    for (std::uint32_t i = 0; i < count; ++i) ++objects[i]->references;

    auto takeFirst = [&](std::uint32_t* result) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (TakeIfSignalled(objects[i])) {
                *result = kWaitObject0 + i;
                return true;
            }
        }
        return false;
    };
    std::uint32_t result = kWaitTimeout;
    if (!takeFirst(&result) && milliseconds != 0) {
        Sleeper& sleeper = OwnSleeper();
        Listing listings[kMaxWaitObjects];
        for (std::uint32_t i = 0; i < count; ++i) {
            listings[i].sleeper = &sleeper;
            List(objects[i], &listings[i]);
        }
        for (;;) {
            if (milliseconds == kInfinite) {
                sleeper.wake.wait(lock);
            } else if (sleeper.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
                // One last look: a signal may have raced the time-out.
                takeFirst(&result);
                break;
            }
            // Woken by a signal that another wait may have consumed first,
            // or for nothing at all: look again.
            if (takeFirst(&result)) break;
        }
        for (std::uint32_t i = 0; i < count; ++i) Unlist(objects[i], &listings[i]);
    }
    for (std::uint32_t i = 0; i < count; ++i) Unref(objects[i]);
    return result;
}

Handle StartThread(ThreadProc proc, void* argument) {
    if (proc == nullptr) return nullptr;
    auto* thread = new Thread;
    {
        std::lock_guard<std::mutex> lock(S().mutex);
        thread->references = 2;  // the handle and the running thread
        S().live.insert(thread);
    }
    try {
        // Only the creating thread touches thread->thread until it returns
        // the handle, so this assignment races with nothing.
        thread->thread = std::thread(RunThread, thread, proc, argument);
    } catch (...) {
        std::lock_guard<std::mutex> lock(S().mutex);
        S().live.erase(thread);
        delete thread;
        return nullptr;
    }
    return thread;
}

bool RaiseThreadPriority(Handle handle) {
    std::lock_guard<std::mutex> lock(S().mutex);
    Object* object = Lookup(handle);
    if (object == nullptr || object->kind != Kind::kThread) return false;
    auto* thread = static_cast<Thread*>(object);
    thread->raiseRequested = true;
    if (thread->started && !thread->ended) ApplyRaise(*thread);
    return true;
}

void NameCurrentThread(const char* name) {
    if (name == nullptr) return;
    char shortName[16] = {};
    for (std::size_t i = 0; i + 1 < sizeof shortName && name[i] != 0; ++i) shortName[i] = name[i];
    pthread_setname_np(pthread_self(), shortName);
}

std::uint32_t TimeGetTime() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace plat
