#include "platform/hid.h"

namespace plat {
namespace {

// Until an entry point installs a driver, there are no game controllers and
// nothing opens: discovery then simply finds no stick.
class NoDeviceDriver final : public HidDriver {
  public:
    bool CreateInputSystem(InputSystem** system) override {
        static NoDeviceSystem none;
        *system = &none;
        return true;
    }
    Handle Open(const char*) override { return InvalidHandle(); }
    bool Close(Handle) override { return false; }
    bool GetAttributes(Handle, HidAttributes*) override { return false; }
    bool GetPreparsedData(Handle, PreparsedData*) override { return false; }
    bool GetCaps(PreparsedData, HidCaps*) override { return false; }
    void FreePreparsedData(PreparsedData) override {}
    IoStart Read(Handle, void*, std::uint32_t, IoRecord*) override { return IoStart::kFailed; }
    IoStart Write(Handle, const void*, std::uint32_t, IoRecord*) override {
        return IoStart::kFailed;
    }
    bool GetResult(Handle, IoRecord*, std::uint32_t*) override { return false; }
    void Cancel(Handle, IoRecord*) override {}

  private:
    class NoDeviceSystem final : public InputSystem {
      public:
        void Release() override {}
        void EnumDevices(EnumDevicesCallback, void*) override {}
        bool CreateDevice(const DeviceInstance&, InputDevice**) override { return false; }
    };
};

NoDeviceDriver g_noDevice;
HidDriver* g_driver = &g_noDevice;

}  // namespace

HidDriver& Hid() {
    return *g_driver;
}

void InstallHid(HidDriver* driver) {
    g_driver = driver != nullptr ? driver : &g_noDevice;
}

}  // namespace plat
