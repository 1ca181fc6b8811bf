// Events, waits, worker threads and the millisecond clock: what the link and
// the EEPROM transfers need of the OS, with Windows semantics on every
// platform (platform/win32/ maps them 1:1, platform/posix/ rebuilds them).
#pragma once

#include <cstdint>

namespace plat {

// An event or a thread. Device handles come from the HID driver (hid.h).
using Handle = void*;

// The "invalid handle" value (all bits set), distinct from null.
inline Handle InvalidHandle() {
    return reinterpret_cast<Handle>(~std::uintptr_t{0});
}

inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// An unnamed event, created not signalled; null when it cannot be made.
// An auto-reset event is reset by the wait that it satisfies.
Handle NewEvent(bool manualReset);
bool SetEvent(Handle event);
bool ResetEvent(Handle event);

// Releases an event or a thread handle (a running thread goes on running).
bool CloseHandle(Handle handle);

// Waits for an event, or for a thread to end. kWaitObject0, kWaitTimeout or
// kWaitFailed.
std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds);

// Waits for the first of up to 8 handles: kWaitObject0 + index, the lowest
// index winning when several are signalled; only that one is consumed.
std::uint32_t WaitForMultipleObjects(std::uint32_t count, const Handle* handles,
                                     std::uint32_t milliseconds);

// A worker thread, running at once with the default stack size; null when it
// cannot be started. The handle is signalled once the thread has ended.
using ThreadProc = std::uint32_t (*)(void* argument);
Handle StartThread(ThreadProc proc, void* argument);
// Raises a thread to "above normal" priority where the OS allows it.
bool RaiseThreadPriority(Handle thread);

// Names the calling thread for the system's tools (top -H, debuggers,
// per-thread counts) where the OS keeps thread names; does nothing
// elsewhere. Linux keeps the first 15 characters.
void NameCurrentThread(const char* name);

// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime).
std::uint32_t TimeGetTime();
void Sleep(std::uint32_t milliseconds);

}  // namespace plat
