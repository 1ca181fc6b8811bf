// The Linux hidraw backend of the HID seam, for the terminal program: the
// driver itself, the list of game controllers for `kx9calib --list`, and
// what to tell the user when a node cannot be opened for lack of rights.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "platform/system_hid.h"

namespace plat {

class HidrawDriver : public SystemHidDriver {
  public:
    // The system error number of the last failed Open() (0 after a
    // successful one), and what it means for the user.
    virtual int LastOpenError() const = 0;
    OpenFailure LastOpenFailure() const override;
};

// Controllers are looked for under <sysfsRoot>/class/hidraw and their nodes
// under <devRoot>; tests pass a temporary tree. A node that is a socket is
// connected to as a SOCK_SEQPACKET stand-in for the device.
std::unique_ptr<HidrawDriver> MakeHidrawDriver(const std::string& sysfsRoot = "/sys",
                                               const std::string& devRoot = "/dev");

using HidrawController = AttachedController;

// The attached game controllers in discovery's order (hidraw number
// ascending); the ones discovery would skip are left out.
std::vector<HidrawController> ListHidrawControllers(const std::string& sysfsRoot = "/sys",
                                                    const std::string& devRoot = "/dev");

OpenFailure ClassifyOpenError(int error);

// Several lines naming the node and the usual fix: a udev rule granting the
// logged-in user access to this vendor/product.
std::string PermissionDeniedMessage(const std::string& node, std::uint32_t vidPid);

}  // namespace plat
