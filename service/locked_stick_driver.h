// One user per stick: the HID driver as kx9calib's links see it, which
// takes the stick's lock before it opens the stick and lets it go when the
// stick is closed. A stick that another kx9calib holds does not open, and
// nothing is sent to it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/stick_lock.h"
#include "service/forwarding_hid_driver.h"

namespace service {

// What stands for a stick when it is locked, and how it is named then.
struct StickLockName {
    std::string path;          // empty: the stick is not locked (no other process can reach it)
    std::string shown;         // as the user gave it
    bool makeMissing = false;  // a lock file, made when it is not there
};

// "NODE is in use by another kx9calib", NODE cleaned.
std::string InUseMessage(const std::string& shown);

class LockedStickDriver final : public ForwardingHidDriver {
  public:
    using Namer = std::function<StickLockName(const std::string& node)>;
    // `inner` must outlive this driver.
    LockedStickDriver(plat::HidDriver& inner, Namer name);

    // The name of the stick the last Open() found in use; empty when it
    // was not refused for that.
    std::string InUse() const;

    plat::Handle Open(const char* path) override;
    bool Close(plat::Handle device) override;

  private:
    Namer m_name;
    mutable std::mutex m_mutex;
    std::map<plat::Handle, std::unique_ptr<plat::StickLock>> m_locks;
    std::string m_inUse;
};

}  // namespace service
