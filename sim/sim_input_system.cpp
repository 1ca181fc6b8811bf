// The controller list as the input system presents it: enumeration, device
// objects and their two properties.
#include <algorithm>
#include <cstring>

#include "sim/virtual_stick.h"

namespace sim {

namespace {

// {4D1E55B2-F16F-11CF-88CB-001111000030}, the HID class, as stored in a GUID.
constexpr std::uint8_t kHidClassGuid[16] = {0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11,
                                            0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};
// Instance GUIDs carry the controller's list index after this tag.
constexpr std::uint8_t kInstanceTag[8] = {'k', 'x', '9', 's', 'i', 'm', 0, 0};

plat::DeviceInstance InstanceOf(std::size_t index) {
    plat::DeviceInstance instance;
    std::memcpy(instance.guidInstance, kInstanceTag, sizeof kInstanceTag);
    const auto value = static_cast<std::uint64_t>(index);
    for (int i = 0; i < 8; ++i) {
        instance.guidInstance[8 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return instance;
}

bool IndexOf(const plat::DeviceInstance& instance, std::size_t* index) {
    if (std::memcmp(instance.guidInstance, kInstanceTag, sizeof kInstanceTag) != 0) return false;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(instance.guidInstance[8 + i]) << (8 * i);
    }
    *index = static_cast<std::size_t>(value);
    return true;
}

}  // namespace

class SimInputDevice final : public plat::InputDevice {
  public:
    SimInputDevice(SimHidDriver& driver, std::size_t index) : driver_(driver), index_(index) {}

    void Release() override { delete this; }

    bool GetVidPid(std::uint32_t* value) override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        const SimHidDriver::Controller& c = driver_.controllers_[index_];
        if (value == nullptr || c.info.vidPidUnreadable) return false;
        *value = c.stick != nullptr ? c.stick->settings_.vidPid : c.info.vidPid;
        return true;
    }

    bool GetGuidAndPath(plat::GuidAndPath* record) override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        const SimHidDriver::Controller& c = driver_.controllers_[index_];
        if (record == nullptr || c.info.pathUnreadable) return false;
        const std::u16string& path = c.stick != nullptr ? c.stick->settings_.path : c.info.path;
        std::memcpy(record->guidClass, kHidClassGuid, sizeof kHidClassGuid);
        // The record is a fixed array: a path of 260 units or more fills it
        // without a terminator, as the platform's would.
        const std::size_t n = std::min<std::size_t>(path.size(), std::size(record->wszPath));
        std::copy_n(path.begin(), n, record->wszPath);
        if (n < std::size(record->wszPath)) record->wszPath[n] = 0;
        return true;
    }

  private:
    ~SimInputDevice() override = default;
    SimHidDriver& driver_;
    std::size_t index_;
};

class SimInputSystem final : public plat::InputSystem {
  public:
    explicit SimInputSystem(SimHidDriver& driver) : driver_(driver) {}

    void Release() override {
        {
            std::lock_guard<std::mutex> lock(driver_.mutex_);
            --driver_.liveSystems_;
        }
        delete this;
    }

    void EnumDevices(plat::EnumDevicesCallback callback, void* context) override {
        if (callback == nullptr) return;
        // The callback calls back into the driver, so it runs unlocked on a
        // snapshot of the list.
        std::vector<std::size_t> attached;
        {
            std::lock_guard<std::mutex> lock(driver_.mutex_);
            for (std::size_t i = 0; i < driver_.controllers_.size(); ++i) {
                const VirtualStick* stick = driver_.controllers_[i].stick;
                if (stick == nullptr || stick->plugged_) attached.push_back(i);
            }
        }
        for (std::size_t index : attached) {
            const plat::DeviceInstance instance = InstanceOf(index);
            if (callback(&instance, context) == plat::kDienumStop) return;
        }
    }

    bool CreateDevice(const plat::DeviceInstance& instance, plat::InputDevice** device) override {
        if (device == nullptr) return false;
        std::size_t index = 0;
        if (!IndexOf(instance, &index)) return false;
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        if (index >= driver_.controllers_.size()) return false;
        const SimHidDriver::Controller& c = driver_.controllers_[index];
        if (c.info.createFails || (c.stick != nullptr && !c.stick->plugged_)) return false;
        *device = new SimInputDevice(driver_, index);
        return true;
    }

  private:
    ~SimInputSystem() override = default;
    SimHidDriver& driver_;
};

bool SimHidDriver::CreateInputSystem(plat::InputSystem** system) {
    if (system == nullptr) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++liveSystems_;
    }
    *system = new SimInputSystem(*this);
    return true;
}

}  // namespace sim
