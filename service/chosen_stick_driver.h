// The HID driver as discovery sees it when --device names a stick: the same
// driver, but its controller list holds only the controllers that the name
// picks (by node or serial number). Each search asks anew, so a stick named
// by its serial number is found again on another node after a replug.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "service/found_sticks.h"

namespace service {

class ChosenStickDriver final : public plat::HidDriver {
  public:
    using Lister = std::function<std::vector<FoundController>()>;
    // `inner` and `list` must outlive this driver.
    ChosenStickDriver(plat::HidDriver& inner, Lister list, std::string device);

    bool CreateInputSystem(plat::InputSystem** system) override;
    plat::Handle Open(const char* path) override { return m_inner.Open(path); }
    bool Close(plat::Handle device) override { return m_inner.Close(device); }
    bool GetAttributes(plat::Handle device, plat::HidAttributes* attributes) override {
        return m_inner.GetAttributes(device, attributes);
    }
    bool GetPreparsedData(plat::Handle device, plat::PreparsedData* data) override {
        return m_inner.GetPreparsedData(device, data);
    }
    bool GetCaps(plat::PreparsedData data, plat::HidCaps* caps) override {
        return m_inner.GetCaps(data, caps);
    }
    void FreePreparsedData(plat::PreparsedData data) override { m_inner.FreePreparsedData(data); }
    plat::IoStart Read(plat::Handle device, void* buffer, std::uint32_t length,
                       plat::IoRecord* io) override {
        return m_inner.Read(device, buffer, length, io);
    }
    plat::IoStart Write(plat::Handle device, const void* buffer, std::uint32_t length,
                        plat::IoRecord* io) override {
        return m_inner.Write(device, buffer, length, io);
    }
    bool GetResult(plat::Handle device, plat::IoRecord* io, std::uint32_t* transferred) override {
        return m_inner.GetResult(device, io, transferred);
    }
    void Cancel(plat::Handle device, plat::IoRecord* io) override { m_inner.Cancel(device, io); }

  private:
    plat::HidDriver& m_inner;
    Lister m_list;
    std::string m_device;
};

}  // namespace service
