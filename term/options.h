// The command line of kx9calib and its --help text.
//
// GNU style: the global options come before the command, a command's own
// options after it, in any order with its file; "--" ends the options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace term {

inline constexpr std::uint16_t kDefaultSimInputLength = 64;
inline constexpr std::uint16_t kDefaultSimOutputLength = 64;
inline constexpr const char* kDefaultDumpFile = "Kx9_Joystick_FW.txt";

enum class Command {
    kDialog,  // no command: the calibration dialog (or its script)
    kDump,
    kRestore,
    kVerify,
    kList,
};

struct Options {
    bool help = false;
    bool version = false;
    Command command = Command::kDialog;

    // --- global ---
    bool simulate = false;
    std::string simEeprom;  // empty: the EEPROM lives in memory only
    std::uint16_t simInputLength = kDefaultSimInputLength;
    std::uint16_t simOutputLength = kDefaultSimOutputLength;
    std::optional<std::uint32_t> simReplyLatencyMs;  // unset: the stick's own
    bool simIgnoreWrites = false;
    int simFlipBitAddress = -1;  // -1: none
    std::string device;          // a node or a serial; empty: the first stick
    bool script = false;
    std::string scriptPath;  // "-" for standard input

    // --- the command's own ---
    bool force = false;  // dump: replace an existing file
    bool json = false;   // list
    std::string backup;  // restore: where the backup goes; empty: a dated name
    bool noBackup = false;
    std::string file;  // dump: the file ("-" standard output); restore, verify: the block
};

// False with a one-line reason when the command line is not usable.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

std::string HelpText();

}  // namespace term
