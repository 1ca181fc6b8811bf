// On Linux the machine's HID driver is hidraw, and a node this user may not
// open is a matter of a udev rule.
#include "platform/hidraw_driver.h"

namespace plat {

std::unique_ptr<SystemHidDriver> MakeSystemHidDriver() {
    return MakeHidrawDriver();
}

std::vector<AttachedController> ListAttachedControllers() {
    return ListHidrawControllers();
}

std::string OpenRightsAdvice(const std::string& node, std::uint32_t vidPid) {
    return PermissionDeniedMessage(node, vidPid);
}

std::string UnknownStickNode() {
    return "the stick's hidraw node";
}

}  // namespace plat
