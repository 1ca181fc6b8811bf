#include <windows.h>

#include <cctype>

#include "platform/stick_lock.h"

namespace plat {
namespace {

// Device paths name one device in any case, and a mutex name may hold no
// backslash after its namespace. A file (the virtual stick's lock file) is
// named by its full path, so that two folders' files of one name are two
// sticks and one file reached two ways is one.
std::string MutexName(const std::string& path) {
    std::string full = path;
    char buffer[MAX_PATH];
    const DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (n > 0 && n < MAX_PATH) full.assign(buffer, n);
    std::string name = "Local\\kx9calib-stick-";
    for (char c : full) {
        name += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name.size() >= MAX_PATH) name.resize(MAX_PATH - 1);
    return name;
}

}  // namespace

// A named mutex: owned by the thread that takes it, abandoned (and so free
// again) when its process ends without releasing it. It names the path, so
// nothing is made on disk.
StickLockResult StickLock::Take(const std::string& path, bool /*makeMissing*/) {
    Release();
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexName(path).c_str());
    if (mutex == nullptr) return StickLockResult::kFailed;
    const DWORD waited = ::WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return waited == WAIT_TIMEOUT ? StickLockResult::kInUse : StickLockResult::kFailed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(mutex);
    return StickLockResult::kTaken;
}

void StickLock::Release() {
    if (m_handle == kNone) return;
    const HANDLE mutex = reinterpret_cast<HANDLE>(m_handle);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    m_handle = kNone;
}

}  // namespace plat
