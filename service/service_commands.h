// kx9calib's service commands: dump, restore, verify and list, each run
// without a terminal on the same discovery, link and block transfers as the
// dialog. Results go to the output stream, messages to the error stream.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "service/found_sticks.h"
#include "service/command_request.h"

namespace service {

inline constexpr int kCommandOk = 0;
inline constexpr int kCommandFailed = 1;  // the stick or a file
inline constexpr int kCommandUsage = 2;
// Plus the signal's number: stopped by a signal, once the stick was safe.
inline constexpr int kCommandInterrupted = 128;

struct CommandEnvironment {
    // Discovery's driver, already narrowed to the --device stick.
    plat::HidDriver* hid = nullptr;
    // The controllers attached now, in discovery's order.
    std::function<std::vector<FoundController>()> list;
    // Why the last open of a stick failed, when there is advice to give.
    std::function<std::string()> openAdvice;
    // Whether a controller's node can be opened; empty: not asked.
    std::function<std::string(const FoundController&)> accessAdvice;
    // The stick the last open found in use by another kx9calib; empty: none.
    std::function<std::string()> inUse;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    // The columns the report's text may fill; empty: 80.
    std::function<int()> width;
    // Where a backup without --backup goes; empty: the current folder.
    std::string folder;
};

int RunServiceCommand(const CommandRequest& options, const CommandEnvironment& env);

// kx9-backup-YYYYmmdd-HHMMSS.txt for the local time now; with `taken` > 1
// the name for when the names before are taken: ...-HHMMSS-2.txt, -3, ...
std::string DatedBackupName(int taken = 1);

}  // namespace service
