// The HID driver as discovery sees it when --device names a stick: the same
// driver, but its controller list holds only the controllers that the name
// picks (by node or serial number). Each search asks anew, so a stick named
// by its serial number is found again on another node after a replug.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service/forwarding_hid_driver.h"
#include "service/found_sticks.h"

namespace service {

class ChosenStickDriver final : public ForwardingHidDriver {
  public:
    using Lister = std::function<std::vector<FoundController>()>;
    // `inner` and `list` must outlive this driver.
    ChosenStickDriver(plat::HidDriver& inner, Lister list, std::string device);

    bool CreateInputSystem(plat::InputSystem** system) override;

  private:
    Lister m_list;
    std::string m_device;
};

}  // namespace service
