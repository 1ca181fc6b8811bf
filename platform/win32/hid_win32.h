// The Windows HID driver's class, shared by its two halves: discovery through
// DirectInput (hid_win32_input.cpp) and the device file with hid.dll and
// overlapped I/O (hid_win32_io.cpp).
#pragma once

#include <atomic>

#include "platform/system_hid.h"

namespace plat {

class Win32HidDriver final : public SystemHidDriver {
  public:
    OpenFailure LastOpenFailure() const override { return lastOpenFailure_.load(); }
    bool CreateInputSystem(InputSystem** system) override;

    Handle Open(const char* path) override;
    bool Close(Handle device) override;

    bool GetAttributes(Handle device, HidAttributes* attributes) override;
    bool GetPreparsedData(Handle device, PreparsedData* data) override;
    bool GetCaps(PreparsedData data, HidCaps* caps) override;
    void FreePreparsedData(PreparsedData data) override;

    IoStart Read(Handle device, void* buffer, std::uint32_t length, IoRecord* io) override;
    IoStart Write(Handle device, const void* buffer, std::uint32_t length, IoRecord* io) override;
    bool GetResult(Handle device, IoRecord* io, std::uint32_t* transferred) override;
    void Cancel(Handle device, IoRecord* io) override;

  private:
    std::atomic<OpenFailure> lastOpenFailure_{OpenFailure::kNone};
};

}  // namespace plat
