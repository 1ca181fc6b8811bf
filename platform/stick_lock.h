// One user per stick: an exclusive lock that a process holds on a stick
// while its link is open, so that a second program never interleaves its
// requests (or reads the first one's replies). Taking it never waits: a
// stick in use is refused at once. The lock goes with the process, however
// it ends.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

enum class StickLockResult {
    kTaken,
    kInUse,   // another holder has it
    kFailed,  // it cannot be had at all (no such file, no access)
};

class StickLock {
  public:
    StickLock() = default;
    ~StickLock() { Release(); }
    StickLock(const StickLock&) = delete;
    StickLock& operator=(const StickLock&) = delete;

    // Locks what `path` names: a device node, or a file standing for the
    // stick, made when `makeMissing` and it is not there. A lock already
    // held is released first.
    StickLockResult Take(const std::string& path, bool makeMissing = false);
    void Release();
    bool Held() const { return m_handle != kNone; }

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a mutex's handle
};

}  // namespace plat
