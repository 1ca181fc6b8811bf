#include "service/chosen_stick_driver.h"

#include <algorithm>

namespace service {
namespace {

// The inner driver's input system, passing on only the devices whose path is
// one of `nodes`.
class FilteredInputSystem final : public plat::InputSystem {
  public:
    FilteredInputSystem(plat::InputSystem* inner, std::vector<std::string> nodes)
        : m_inner(inner), m_nodes(std::move(nodes)) {}

    void Release() override {
        m_inner->Release();
        delete this;
    }

    void EnumDevices(plat::EnumDevicesCallback callback, void* context) override {
        if (callback == nullptr) return;
        struct Pass {
            FilteredInputSystem* self;
            plat::EnumDevicesCallback callback;
            void* context;
        } pass{this, callback, context};
        m_inner->EnumDevices(
            [](const plat::DeviceInstance* instance, void* raw) {
                auto* p = static_cast<Pass*>(raw);
                if (instance == nullptr || !p->self->Chosen(*instance)) {
                    return plat::kDienumContinue;
                }
                return p->callback(instance, p->context);
            },
            &pass);
    }

    bool CreateDevice(const plat::DeviceInstance& instance, plat::InputDevice** device) override {
        return m_inner->CreateDevice(instance, device);
    }

  private:
    ~FilteredInputSystem() override = default;

    bool Chosen(const plat::DeviceInstance& instance) {
        plat::InputDevice* device = nullptr;
        if (!m_inner->CreateDevice(instance, &device) || device == nullptr) return false;
        plat::GuidAndPath record{};
        const bool named = device->GetGuidAndPath(&record);
        device->Release();
        if (!named) return false;
        // Paths are ASCII; discovery narrows them the same way.
        std::string path;
        for (std::size_t i = 0; i < std::size(record.wszPath) && record.wszPath[i] != 0; ++i) {
            path += static_cast<char>(record.wszPath[i] & 0xFF);
        }
        return std::find(m_nodes.begin(), m_nodes.end(), path) != m_nodes.end();
    }

    plat::InputSystem* m_inner;
    std::vector<std::string> m_nodes;
};

}  // namespace

ChosenStickDriver::ChosenStickDriver(plat::HidDriver& inner, Lister list, std::string device)
    : ForwardingHidDriver(inner), m_list(std::move(list)), m_device(std::move(device)) {}

bool ChosenStickDriver::CreateInputSystem(plat::InputSystem** system) {
    plat::InputSystem* inner = nullptr;
    if (system == nullptr || !m_inner.CreateInputSystem(&inner) || inner == nullptr) return false;
    std::vector<std::string> nodes;
    const std::vector<FoundController> found = m_list();
    std::string ignored;
    const int chosen = ChooseStick(found, m_device, &ignored);
    if (chosen >= 0) nodes.push_back(found[static_cast<std::size_t>(chosen)].node);
    *system = new FilteredInputSystem(inner, std::move(nodes));
    return true;
}

}  // namespace service
