// The HID seam: finding game controllers and talking to one as a raw HID
// device with overlapped reads and writes. One driver serves the process:
// DirectInput + hid.dll on Windows, hidraw on Linux, or the virtual stick
// (sim/) on either; the entry point installs it before the dialog runs.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace plat {

// HIDD_ATTRIBUTES.
struct HidAttributes {
    std::uint32_t Size = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// The fields of HIDP_CAPS that anything here looks at; the two report
// lengths (report id byte included) size every report buffer.
struct HidCaps {
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
};

using PreparsedData = void*;

// A completion record bound to an event (an OVERLAPPED). The caller zeroes it
// with Reset() and sets hEvent before each operation; the driver signals
// hEvent when the operation completes. While an operation is pending, the
// record and its buffer belong to the driver until GetResult() has reported
// completion or Cancel() has returned.
struct IoRecord {
    alignas(16) unsigned char opaque[64];
    Handle hEvent = nullptr;

    void Reset() {
        for (unsigned char& b : opaque) b = 0;
    }
};

enum class IoStart {
    kCompleted,  // finished at once (ReadFile/WriteFile returned true)
    kPending,    // ERROR_IO_PENDING: hEvent is signalled on completion
    kFailed,     // any other error; nothing is pending
};

// DIDEVICEINSTANCE, as far as discovery needs it.
struct DeviceInstance {
    std::uint8_t guidInstance[16] = {};
};

// DIPROPGUIDANDPATH's payload.
struct GuidAndPath {
    std::uint8_t guidClass[16] = {};
    char16_t wszPath[260] = {};
};

inline constexpr int kDienumStop = 0;
inline constexpr int kDienumContinue = 1;
using EnumDevicesCallback = int (*)(const DeviceInstance* instance, void* context);

// IDirectInputDevice8A, as far as discovery needs it.
class InputDevice {
  public:
    virtual void Release() = 0;
    // DIPROP_VIDPID: product id in the high 16 bits, vendor id in the low.
    virtual bool GetVidPid(std::uint32_t* value) = 0;
    // DIPROP_GUIDANDPATH; the record is zero-filled by the caller.
    virtual bool GetGuidAndPath(GuidAndPath* record) = 0;

  protected:
    virtual ~InputDevice() = default;
};

// IDirectInput8A, as far as discovery needs it.
class InputSystem {
  public:
    virtual void Release() = 0;
    // Attached game controllers only, in the platform's order, until the
    // callback returns kDienumStop.
    virtual void EnumDevices(EnumDevicesCallback callback, void* context) = 0;
    virtual bool CreateDevice(const DeviceInstance& instance, InputDevice** device) = 0;

  protected:
    virtual ~InputSystem() = default;
};

class HidDriver {
  public:
    virtual ~HidDriver() = default;

    // DirectInput8Create: a new object, or false.
    virtual bool CreateInputSystem(InputSystem** system) = 0;

    // CreateFileA(path, read|write, share read|write, OPEN_EXISTING,
    // overlapped): a device handle, or InvalidHandle().
    virtual Handle Open(const char* path) = 0;
    virtual bool Close(Handle device) = 0;

    virtual bool GetAttributes(Handle device, HidAttributes* attributes) = 0;
    virtual bool GetPreparsedData(Handle device, PreparsedData* data) = 0;
    // True for HIDP_STATUS_SUCCESS; caps untouched otherwise.
    virtual bool GetCaps(PreparsedData data, HidCaps* caps) = 0;
    virtual void FreePreparsedData(PreparsedData data) = 0;

    // One whole report in or out.
    virtual IoStart Read(Handle device, void* buffer, std::uint32_t length, IoRecord* io) = 0;
    virtual IoStart Write(Handle device, const void* buffer, std::uint32_t length,
                          IoRecord* io) = 0;
    // GetOverlappedResult without waiting: true with the byte count once the
    // operation completed successfully; false if it failed or is pending.
    virtual bool GetResult(Handle device, IoRecord* io, std::uint32_t* transferred) = 0;
    // Cancels the operation of this record if it is still pending and returns
    // only once it has completed; its buffer and record are then free again.
    virtual void Cancel(Handle device, IoRecord* io) = 0;
};

// The process's driver. Installed by the entry point (or a test) before the
// dialog runs; the caller keeps it alive while it is installed.
HidDriver& Hid();
void InstallHid(HidDriver* driver);

}  // namespace plat
