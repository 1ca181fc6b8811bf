// The command line of kx9calib and its --help text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace term {

inline constexpr std::uint16_t kDefaultSimInputLength = 64;
inline constexpr std::uint16_t kDefaultSimOutputLength = 64;

struct Options {
    bool help = false;
    bool version = false;
    bool list = false;
    bool simulate = false;
    std::string simEeprom;  // empty: the EEPROM lives in memory only
    std::uint16_t simInputLength = kDefaultSimInputLength;
    std::uint16_t simOutputLength = kDefaultSimOutputLength;
    bool script = false;
    std::string scriptPath;  // "-" for standard input
};

// False with a one-line reason when the command line is not usable.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string HelpText();

}  // namespace term
