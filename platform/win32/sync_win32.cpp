// The sync seam on Windows: each operation is the Win32 call of the same
// name, with the process's handles passed straight through.
#include <windows.h>
#include <mmsystem.h>
#include <process.h>

#include <cstddef>
#include <new>

#include "platform/sync.h"

namespace plat {
namespace {

// _beginthreadex wants an __stdcall procedure; ThreadProc has the default
// convention, so a small trampoline carries it across.
struct ThreadStart {
    ThreadProc proc;
    void* argument;
};

unsigned __stdcall RunThread(void* start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    return s.proc(s.argument);
}

bool IsRealHandle(Handle handle) {
    return handle != nullptr && handle != InvalidHandle();
}

// SetThreadDescription came with Windows 10 1607, and Wine may lack it:
// looked up at run time, so that the program starts everywhere and names
// its threads where it can.
using SetThreadDescriptionProc = HRESULT(WINAPI*)(HANDLE, PCWSTR);

SetThreadDescriptionProc FindSetThreadDescription() {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    const FARPROC found = ::GetProcAddress(kernel, "SetThreadDescription");
    // Through a generic function pointer: FARPROC's own type is not the
    // one it stands for.
    return reinterpret_cast<SetThreadDescriptionProc>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

Handle NewEvent(bool manualReset) {
    return ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

bool SetEvent(Handle event) {
    return IsRealHandle(event) && ::SetEvent(event) != FALSE;
}

bool ResetEvent(Handle event) {
    return IsRealHandle(event) && ::ResetEvent(event) != FALSE;
}

// The invalid-handle value doubles as the current-process pseudo-handle on
// Windows, so it is refused here rather than handed to the OS.
bool CloseHandle(Handle handle) {
    return IsRealHandle(handle) && ::CloseHandle(handle) != FALSE;
}

std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    if (!IsRealHandle(handle)) return kWaitFailed;
    return ::WaitForSingleObject(handle, milliseconds);
}

std::uint32_t WaitForMultipleObjects(std::uint32_t count, const Handle* handles,
                                     std::uint32_t milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) return kWaitFailed;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!IsRealHandle(handles[i])) return kWaitFailed;
    }
    return ::WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

Handle StartThread(ThreadProc proc, void* argument) {
    if (proc == nullptr) return nullptr;
    auto* start = new (std::nothrow) ThreadStart{proc, argument};
    if (start == nullptr) return nullptr;
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<Handle>(thread);
}

bool RaiseThreadPriority(Handle thread) {
    return IsRealHandle(thread) &&
           ::SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL) != FALSE;
}

void NameCurrentThread(const char* name) {
    static const SetThreadDescriptionProc setDescription = FindSetThreadDescription();
    if (setDescription == nullptr || name == nullptr) return;
    wchar_t wide[64] = {};
    for (std::size_t i = 0; i + 1 < sizeof wide / sizeof wide[0] && name[i] != 0; ++i) {
        wide[i] = static_cast<unsigned char>(name[i]);
    }
    setDescription(::GetCurrentThread(), wide);
}

std::uint32_t TimeGetTime() {
    return ::timeGetTime();
}

void Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace plat
