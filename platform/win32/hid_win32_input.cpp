// Discovery through DirectInput 8: the seam's InputSystem and InputDevice are
// thin owners of IDirectInput8A and IDirectInputDevice8A, each releasing its
// interface (and itself) in Release().
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
#include <dinput.h>

#include <cstring>
#include <new>

#include "platform/win32/hid_win32.h"

namespace plat {
namespace {

// The property records must have the layout the OS checks dwSize against.
static_assert(sizeof(DIPROPHEADER) == 16);
static_assert(sizeof(DIPROPDWORD) == 20);
static_assert(sizeof(DIPROPGUIDANDPATH) == 552);
static_assert(sizeof(GUID) == sizeof(DeviceInstance::guidInstance));
static_assert(sizeof(WCHAR) == sizeof(char16_t));
static_assert(sizeof(GuidAndPath::wszPath) == sizeof(DIPROPGUIDANDPATH::wszPath));

class DiDevice final : public InputDevice {
  public:
    explicit DiDevice(IDirectInputDevice8A* device) : device_(device) {}

    void Release() override {
        device_->Release();
        delete this;
    }

    bool GetVidPid(std::uint32_t* value) override {
        if (value == nullptr) return false;
        DIPROPDWORD property{};
        property.diph.dwSize = sizeof(DIPROPDWORD);
        property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
        property.diph.dwObj = 0;
        property.diph.dwHow = DIPH_DEVICE;
        if (device_->GetProperty(DIPROP_VIDPID, &property.diph) != DI_OK) return false;
        *value = property.dwData;
        return true;
    }

    bool GetGuidAndPath(GuidAndPath* record) override {
        if (record == nullptr) return false;
        DIPROPGUIDANDPATH property;
        std::memset(&property, 0, sizeof(property));
        property.diph.dwSize = sizeof(DIPROPGUIDANDPATH);
        property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
        property.diph.dwObj = 0;
        property.diph.dwHow = DIPH_DEVICE;
        if (device_->GetProperty(DIPROP_GUIDANDPATH, &property.diph) != DI_OK) return false;
        std::memcpy(record->guidClass, &property.guidClass, sizeof(record->guidClass));
        std::memcpy(record->wszPath, property.wszPath, sizeof(record->wszPath));
        return true;
    }

  private:
    ~DiDevice() override = default;
    IDirectInputDevice8A* const device_;
};

class DiSystem final : public InputSystem {
  public:
    explicit DiSystem(IDirectInput8A* system) : system_(system) {}

    void Release() override {
        system_->Release();
        delete this;
    }

    void EnumDevices(EnumDevicesCallback callback, void* context) override {
        if (callback == nullptr) return;
        Forward forward{callback, context};
        system_->EnumDevices(DI8DEVCLASS_GAMECTRL, &DiSystem::OneDevice, &forward,
                             DIEDFL_ATTACHEDONLY);
    }

    bool CreateDevice(const DeviceInstance& instance, InputDevice** device) override {
        if (device == nullptr) return false;
        GUID guid;
        std::memcpy(&guid, instance.guidInstance, sizeof(guid));
        IDirectInputDevice8A* created = nullptr;
        if (system_->CreateDevice(guid, &created, nullptr) != DI_OK || created == nullptr) {
            return false;
        }
        auto* wrapper = new (std::nothrow) DiDevice(created);
        if (wrapper == nullptr) {
            created->Release();
            return false;
        }
        *device = wrapper;
        return true;
    }

  private:
    struct Forward {
        EnumDevicesCallback callback;
        void* context;
    };

    // DirectInput's callback, handing the seam's callback just the instance
    // GUID and passing its continue/stop answer back unchanged.
    static BOOL CALLBACK OneDevice(LPCDIDEVICEINSTANCEA instance, LPVOID pvRef) {
        const auto* forward = static_cast<const Forward*>(pvRef);
        if (instance == nullptr) return DIENUM_CONTINUE;
        DeviceInstance seen;
        std::memcpy(seen.guidInstance, &instance->guidInstance, sizeof(seen.guidInstance));
        return forward->callback(&seen, forward->context);
    }

    ~DiSystem() override = default;
    IDirectInput8A* const system_;
};

}  // namespace

bool Win32HidDriver::CreateInputSystem(InputSystem** system) {
    if (system == nullptr) return false;
    IDirectInput8A* created = nullptr;
    const HRESULT result = DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                              reinterpret_cast<void**>(&created), nullptr);
    if (result != DI_OK || created == nullptr) return false;
    auto* wrapper = new (std::nothrow) DiSystem(created);
    if (wrapper == nullptr) {
        created->Release();
        return false;
    }
    *system = wrapper;
    return true;
}

}  // namespace plat
