#include "service/locked_stick_driver.h"

#include "term/clean_text.h"

namespace service {

std::string InUseMessage(const std::string& shown) {
    return term::CleanText(shown) + " is in use by another kx9calib";
}

LockedStickDriver::LockedStickDriver(plat::HidDriver& inner, Namer name)
    : ForwardingHidDriver(inner), m_name(std::move(name)) {}

std::string LockedStickDriver::InUse() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inUse;
}

plat::Handle LockedStickDriver::Open(const char* path) {
    const StickLockName name = path != nullptr ? m_name(path) : StickLockName{};
    auto stickLock = std::make_unique<plat::StickLock>();
    // A lock that cannot be had at all (no access) is left to the open
    // itself to report, with its own reason.
    if (!name.path.empty() &&
        stickLock->Take(name.path, name.makeMissing) == plat::StickLockResult::kInUse) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_inUse = name.shown;
        return plat::InvalidHandle();
    }
    const plat::Handle device = m_inner.Open(path);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inUse.clear();
    if (device != plat::InvalidHandle() && device != nullptr && stickLock->Held()) {
        m_locks[device] = std::move(stickLock);
    }
    return device;
}

bool LockedStickDriver::Close(plat::Handle device) {
    const bool closed = m_inner.Close(device);
    // After the close: nothing of this link reaches the stick once another
    // process may have it.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_locks.erase(device);
    return closed;
}

}  // namespace service
