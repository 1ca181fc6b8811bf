#include "app/stick_wiring.h"

#include <utility>

namespace app {

StickWiring::StickWiring(const Options& options, plat::HidDriver& hid, StickList list)
    : m_simulate(options.simulate),
      m_simEeprom(options.simEeprom),
      m_list(std::move(list)),
      m_chosen(options.device.empty()
                   ? nullptr
                   : std::make_unique<service::ChosenStickDriver>(hid, m_list, options.device)),
      m_locked(m_chosen ? static_cast<plat::HidDriver&>(*m_chosen) : hid,
               [this](const std::string& node) { return LockName(node); }) {}

service::StickLockName StickWiring::LockName(const std::string& node) const {
    if (!m_simulate) return {node, node};
    if (m_simEeprom.empty()) return {};
    return {m_simEeprom + ".lock", m_simEeprom, true};
}

service::CommandEnvironment StickWiring::Commands(std::ostream& out, std::ostream& err) {
    service::CommandEnvironment env;
    env.hid = &m_locked;
    env.list = m_list;
    env.out = &out;
    env.err = &err;
    env.inUse = [this] { return m_locked.InUse(); };
    return env;
}

}  // namespace app
