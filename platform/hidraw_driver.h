// The Linux hidraw backend of the HID seam, for the terminal program: the
// driver itself, the list of game controllers for `kx9calib --list`, and
// what to tell the user when a node cannot be opened for lack of rights.
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
    kPermissionDenied,  // the node exists but this user may not open it
    kNotFound,          // no such node (unplugged)
    kOther,
};

class HidrawDriver : public HidDriver {
  public:
    // The system error number of the last failed Open() (0 after a
    // successful one), and what it means for the user.
    virtual int LastOpenError() const = 0;
    OpenFailure LastOpenFailure() const;
};

// Controllers are looked for under <sysfsRoot>/class/hidraw and their nodes
// under <devRoot>; tests pass a temporary tree. A node that is a socket is
// connected to as a SOCK_SEQPACKET stand-in for the device.
std::unique_ptr<HidrawDriver> MakeHidrawDriver(const std::string& sysfsRoot = "/sys",
                                               const std::string& devRoot = "/dev");

struct HidrawController {
    std::string path;          // the device node
    std::uint32_t vidPid = 0;  // product << 16 | vendor, as DeviceIdentity
    std::string name;          // as the kernel names the device; may be empty
    std::string serial;        // the serial number the device reports; may be empty
    std::string port;          // where it is plugged in (bus path); may be empty
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint16_t inputReportLength = 0;   // id byte included
    std::uint16_t outputReportLength = 0;  // id byte included
};

// The attached game controllers in discovery's order (hidraw number
// ascending); the ones discovery would skip are left out.
std::vector<HidrawController> ListHidrawControllers(const std::string& sysfsRoot = "/sys",
                                                    const std::string& devRoot = "/dev");

OpenFailure ClassifyOpenError(int error);

// Several lines naming the node and the usual fix: a udev rule granting the
// logged-in user access to this vendor/product.
std::string PermissionDeniedMessage(const std::string& node, std::uint32_t vidPid);

}  // namespace plat
