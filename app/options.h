// The command line of kx9calib and its --help text.
//
// GNU style: the global options come before the command, a command's own
// options after it, in any order with its file; "--" ends the options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/command_request.h"

namespace app {

inline constexpr std::uint16_t kDefaultSimInputLength = 64;
inline constexpr std::uint16_t kDefaultSimOutputLength = 64;
// The command and the command's own options are what the service commands
// take; the rest chooses the stick and runs the dialog.
struct Options : service::CommandRequest {
    bool help = false;
    bool version = false;

    // --- global ---
    bool simulate = false;
    std::string simEeprom;  // empty: the EEPROM lives in memory only
    std::uint16_t simInputLength = kDefaultSimInputLength;
    std::uint16_t simOutputLength = kDefaultSimOutputLength;
    std::optional<std::uint32_t> simReplyLatencyMs;  // unset: the stick's own
    bool simIgnoreWrites = false;
    int simFlipBitAddress = -1;  // -1: none
    bool script = false;
    std::string scriptPath;  // "-" for standard input
};

// False with a one-line reason when the command line is not usable.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string HelpText();

}  // namespace app
