// The sticks a kx9calib run works on, wired from its options as the program
// does, over a HID driver and what lists that driver's sticks: the one that
// --device chooses, one user per stick, and the service commands'
// environment over them. The program and its tests share this wiring.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/options.h"
#include "platform/hid.h"
#include "service/chosen_stick_driver.h"
#include "service/found_sticks.h"
#include "service/locked_stick_driver.h"
#include "service/service_commands.h"

namespace app {

using StickList = std::function<std::vector<service::FoundController>()>;

class StickWiring {
  public:
    // `hid` must outlive the wiring.
    StickWiring(const Options& options, plat::HidDriver& hid, StickList list);
    StickWiring(const StickWiring&) = delete;
    StickWiring& operator=(const StickWiring&) = delete;

    // The driver the links and commands open sticks through.
    plat::HidDriver& Hid() { return m_locked; }
    const StickList& List() const { return m_list; }
    // What the stick at NODE is locked by: a hidraw node itself; the
    // virtual stick by a lock file beside its EEPROM file (which each save
    // replaces); one kept in memory by nothing, as no other process reaches it.
    service::StickLockName LockName(const std::string& node) const;
    // The stick the last open found in use by another kx9calib.
    std::string InUse() const { return m_locked.InUse(); }
    // The service commands' environment writing to OUT and ERR; what only
    // the machine's own driver can advise is the caller's to add.
    service::CommandEnvironment Commands(std::ostream& out, std::ostream& err);

  private:
    bool m_simulate;
    std::string m_simEeprom;
    StickList m_list;
    std::unique_ptr<service::ChosenStickDriver> m_chosen;
    service::LockedStickDriver m_locked;
};

}  // namespace app
