// A HID driver that hands every call to another one: the base of the
// drivers kx9calib puts in front of discovery's, each changing a call or
// two.
#pragma once

#include "platform/hid.h"

namespace service {

class ForwardingHidDriver : public plat::HidDriver {
  public:
    // `inner` must outlive this driver.
    explicit ForwardingHidDriver(plat::HidDriver& inner) : m_inner(inner) {}

    bool CreateInputSystem(plat::InputSystem** system) override {
        return m_inner.CreateInputSystem(system);
    }
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

  protected:
    plat::HidDriver& m_inner;
};

}  // namespace service
