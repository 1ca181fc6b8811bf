// The machine's own HID driver for the terminal program (hidraw on Linux,
// DirectInput and hid.dll on Windows), the game controllers attached to the
// machine as the list command shows them, and what to tell the user when a
// stick is there but may not be opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hid.h"

namespace plat {

// Why the last Open() failed.
enum class OpenFailure {
    kNone,              // it succeeded
    kPermissionDenied,  // the device exists but this user may not open it
    kNotFound,          // no such device (unplugged)
    kOther,
};

class SystemHidDriver : public HidDriver {
  public:
    virtual OpenFailure LastOpenFailure() const = 0;
};

std::unique_ptr<SystemHidDriver> MakeSystemHidDriver();

struct AttachedController {
    std::string path;          // what discovery hands to Open(), in UTF-8
    std::uint32_t vidPid = 0;  // product << 16 | vendor, as DeviceIdentity
    std::string name;          // the product as the system names it; may be empty
    std::string serial;        // the serial number the device reports; may be empty
    std::string port;          // where it is plugged in; may be empty
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;   // id byte included
    std::uint16_t outputReportLength = 0;  // id byte included
};

// The attached game controllers in discovery's order; the ones discovery
// would skip are left out.
std::vector<AttachedController> ListAttachedControllers();

// Several lines on how this user gets the right to open `node` of a device
// `vidPid`; empty where the system has nothing to say beyond the failure.
std::string OpenRightsAdvice(const std::string& node, std::uint32_t vidPid);

// What a message calls the stick's device when no path of it is known.
std::string UnknownStickNode();

}  // namespace plat
