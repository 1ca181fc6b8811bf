#include "app/options.h"

#include <cstddef>

#include "script/script.h"

namespace app {

using service::Command;
using service::kDefaultDumpFile;
namespace {

constexpr std::uint32_t kMaxReplyLatencyMs = 60000;
constexpr std::uint32_t kLastEepromAddress = 255;

bool ParseLength(const std::string& text, std::uint16_t* value) {
    std::uint32_t v = 0;
    if (!script::ParseScriptNumber(text, 0xFFFF, &v) || v == 0) return false;
    *value = static_cast<std::uint16_t>(v);
    return true;
}

bool ParseCommand(const std::string& word, Command* command) {
    if (word == "dump") {
        *command = Command::kDump;
    } else if (word == "restore") {
        *command = Command::kRestore;
    } else if (word == "verify") {
        *command = Command::kVerify;
    } else if (word == "list") {
        *command = Command::kList;
    } else if (word == "report") {
        *command = Command::kReport;
    } else {
        return false;
    }
    return true;
}

const char* CommandName(Command command) {
    switch (command) {
        case Command::kDump:
            return "dump";
        case Command::kRestore:
            return "restore";
        case Command::kVerify:
            return "verify";
        case Command::kList:
            return "list";
        case Command::kReport:
            return "report";
        case Command::kDialog:
            break;
    }
    return "";
}

// Where an option may stand: anywhere, before the command (the global
// options), or after one of the commands (a bit per command).
constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}
constexpr unsigned kAnywhere = ~0u;
constexpr unsigned kGlobal = 0;
// --list stands where the global options do, but it is the older spelling
// of a command, not an option that could go before one.
constexpr unsigned kCommandSpelling = Bit(Command::kDialog);

// One option of the command line: where it stands, whether it takes a value
// (else it is a flag, which --name=value is not), whether it is a setting of
// the virtual stick, and what it does: nullptr, or why the value is refused.
struct OptionRule {
    const char* name;
    unsigned where;
    bool takesValue;
    bool simSetting;
    const char* (*apply)(Options& o, const std::string& value);
};

constexpr OptionRule kRules[] = {
    {"--help", kAnywhere, false, false,
     [](Options& o, const std::string&) -> const char* {
         o.help = true;
         return nullptr;
     }},
    {"-h", kAnywhere, false, false,
     [](Options& o, const std::string&) -> const char* {
         o.help = true;
         return nullptr;
     }},
    {"--version", kAnywhere, false, false,
     [](Options& o, const std::string&) -> const char* {
         o.version = true;
         return nullptr;
     }},
    // --- a command's own
    {"--force", Bit(Command::kDump), false, false,
     [](Options& o, const std::string&) -> const char* {
         o.force = true;
         return nullptr;
     }},
    {"--json", Bit(Command::kList) | Bit(Command::kReport), false, false,
     [](Options& o, const std::string&) -> const char* {
         o.json = true;
         return nullptr;
     }},
    {"--no-backup", Bit(Command::kRestore), false, false,
     [](Options& o, const std::string&) -> const char* {
         o.noBackup = true;
         return nullptr;
     }},
    {"--html", Bit(Command::kReport), true, false,
     [](Options& o, const std::string& value) -> const char* {
         o.html = value;
         return value.empty() ? "--html needs a file name" : nullptr;
     }},
    {"--backup", Bit(Command::kRestore), true, false,
     [](Options& o, const std::string& value) -> const char* {
         o.backup = value;
         return value.empty() ? "--backup needs a file name" : nullptr;
     }},
    // --- global
    {"--list", kCommandSpelling, false, false,
     [](Options& o, const std::string&) -> const char* {
         o.command = Command::kList;
         return nullptr;
     }},
    {"--simulate", kGlobal, false, false,
     [](Options& o, const std::string&) -> const char* {
         o.simulate = true;
         return nullptr;
     }},
    {"--device", kGlobal, true, false,
     [](Options& o, const std::string& value) -> const char* {
         o.device = value;
         return value.empty() ? "--device needs a device node or a serial number" : nullptr;
     }},
    {"--script", kGlobal, true, false,
     [](Options& o, const std::string& value) -> const char* {
         o.script = true;
         o.scriptPath = value;
         return value.empty() ? "--script needs a file name, or - for standard input" : nullptr;
     }},
    {"--record", kGlobal, true, false,
     [](Options& o, const std::string& value) -> const char* {
         o.record = value;
         return value.empty() ? "--record needs a file name" : nullptr;
     }},
    {"--sim-eeprom", kGlobal, true, true,
     [](Options& o, const std::string& value) -> const char* {
         o.simEeprom = value;
         return value.empty() ? "--sim-eeprom needs a file name" : nullptr;
     }},
    {"--sim-input-length", kGlobal, true, true,
     [](Options& o, const std::string& value) -> const char* {
         if (ParseLength(value, &o.simInputLength)) return nullptr;
         return "--sim-input-length needs a report length of 1 to 65535 bytes";
     }},
    {"--sim-output-length", kGlobal, true, true,
     [](Options& o, const std::string& value) -> const char* {
         if (ParseLength(value, &o.simOutputLength)) return nullptr;
         return "--sim-output-length needs a report length of 1 to 65535 bytes";
     }},
    {"--sim-reply-latency", kGlobal, true, true,
     [](Options& o, const std::string& value) -> const char* {
         std::uint32_t ms = 0;
         if (!script::ParseScriptNumber(value, kMaxReplyLatencyMs, &ms)) {
             return "--sim-reply-latency needs a time of 0 to 60000 ms";
         }
         o.simReplyLatencyMs = ms;
         return nullptr;
     }},
    {"--sim-ignore-writes", kGlobal, false, true,
     [](Options& o, const std::string&) -> const char* {
         o.simIgnoreWrites = true;
         return nullptr;
     }},
    {"--sim-flip-bit", kGlobal, true, true,
     [](Options& o, const std::string& value) -> const char* {
         std::uint32_t address = 0;
         if (!script::ParseScriptNumber(value, kLastEepromAddress, &address)) {
             return "--sim-flip-bit needs an EEPROM address of 0 to 255";
         }
         o.simFlipBitAddress = static_cast<int>(address);
         return nullptr;
     }},
};

// The rule for NAME where it stands: after COMMAND, or before any command.
const OptionRule* FindRule(const std::string& name, bool inlineValue, bool haveCommand,
                           Command command) {
    for (const OptionRule& rule : kRules) {
        if (name != rule.name || (inlineValue && !rule.takesValue)) continue;
        const bool before = rule.where == kGlobal || rule.where == kCommandSpelling;
        const bool after = !before && (rule.where & Bit(command)) != 0;
        if (rule.where == kAnywhere || (haveCommand ? after : before)) return &rule;
    }
    return nullptr;
}

// A global option, or one that would be a setting of the virtual stick.
bool IsGlobalOption(const std::string& name) {
    for (const OptionRule& rule : kRules) {
        if (rule.where == kGlobal && name == rule.name) return true;
    }
    return name.rfind("--sim-", 0) == 0;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    Options o;
    bool simSetting = false;
    bool haveCommand = false;
    bool optionsEnded = false;
    std::vector<std::string> operands;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        // "-" alone is a file name: standard output.
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            if (!haveCommand) {
                if (!ParseCommand(a, &o.command)) {
                    *error = "unknown command " + a + " (see --help)";
                    return false;
                }
                haveCommand = true;
            } else {
                operands.push_back(a);
            }
            continue;
        }

        // --name=value is the same as --name value.
        std::string name = a, value;
        const bool inlineValue = a.rfind("--", 0) == 0 && a.find('=') != std::string::npos;
        if (inlineValue) {
            name = a.substr(0, a.find('='));
            value = a.substr(a.find('=') + 1);
        }
        const OptionRule* rule = FindRule(name, inlineValue, haveCommand, o.command);
        if (rule == nullptr) {
            if (!haveCommand) {
                *error = "unknown option " + a + " (see --help)";
            } else if (IsGlobalOption(name)) {
                *error = name + " goes before the command " + CommandName(o.command);
            } else {
                *error =
                    std::string(CommandName(o.command)) + ": unknown option " + a + " (see --help)";
            }
            return false;
        }
        if (rule->takesValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (const char* refused = rule->apply(o, value)) {
            *error = refused;
            return false;
        }
        if (rule->where == kCommandSpelling) haveCommand = true;
        simSetting = simSetting || rule->simSetting;
    }
    if (o.help || o.version) {
        *options = o;
        return true;
    }
    if (simSetting && !o.simulate) {
        *error = "the --sim-... options need --simulate";
        return false;
    }
    if (o.script && o.command != Command::kDialog) {
        *error = std::string("--script runs the dialog and takes no command (") +
                 CommandName(o.command) + ")";
        return false;
    }
    if (!o.record.empty() && o.command != Command::kDialog && o.command != Command::kRestore) {
        *error = std::string("--record is kept by the dialog and restore, not by ") +
                 CommandName(o.command);
        return false;
    }
    for (const std::string& operand : operands) {
        if (operand.empty()) {
            *error = std::string(CommandName(o.command)) + ": an empty file name";
            return false;
        }
    }
    switch (o.command) {
        case Command::kDialog:
            break;
        case Command::kList:
            if (!operands.empty()) {
                *error = "list takes no file (" + operands[0] + ")";
                return false;
            }
            break;
        case Command::kReport:
            if (operands.empty()) {
                *error = "report needs at least one record file";
                return false;
            }
            o.records = operands;
            if (o.json && !o.html.empty()) {
                *error = "report: --json and --html exclude each other";
                return false;
            }
            break;
        case Command::kDump:
            if (operands.size() > 1) {
                *error = "dump takes one file at most";
                return false;
            }
            o.file = operands.empty() ? std::string(kDefaultDumpFile) : operands[0];
            break;
        case Command::kRestore:
        case Command::kVerify:
            if (operands.size() != 1) {
                *error = std::string(CommandName(o.command)) + " needs exactly one file";
                return false;
            }
            o.file = operands[0];
            if (o.noBackup && !o.backup.empty()) {
                *error = "restore: --backup and --no-backup exclude each other";
                return false;
            }
            break;
    }
    *options = o;
    return true;
}

std::string HelpText() {
    return "Usage: kx9calib [GLOBAL OPTIONS] [--script FILE]\n"
           "       kx9calib [GLOBAL OPTIONS] COMMAND [COMMAND OPTIONS] [FILE]\n"
           "\n"
           "Without a command: calibrates the X and Y axes of a Kx9 stick and writes the\n"
           "result to its EEPROM, in a full-screen terminal dialog. The configuration file\n"
           "kx9JoystickCalibration.txt is read from the current directory.\n"
           "\n"
           "Commands (no terminal needed; messages on standard error):\n"
           "  dump [--force] [FILE|-]  save the stick's calibration block as a text file\n"
           "                          (default Kx9_Joystick_FW.txt; - standard output);\n"
           "                          an existing file is replaced only with --force\n"
           "  restore [--backup FILE | --no-backup] FILE\n"
           "                          write the block of FILE (all fourteen fields) to the\n"
           "                          stick after backing up its current block (default\n"
           "                          kx9-backup-YYYYmmdd-HHMMSS.txt, -2, -3... while that\n"
           "                          is taken; never replaced), then read it back\n"
           "  verify FILE             compare the stick's block with FILE's fields\n"
           "  list [--json]           list the game controllers found, with serial number\n"
           "                          and USB port; --list is the same\n"
           "  report [--json | --html PAGE] FILE...\n"
           "                          the figures of production records (--record): counts\n"
           "                          by result and station, serial numbers written more\n"
           "                          than once, min/median/max and the rows out by more\n"
           "                          than 3.5 scaled MADs, histograms of centres and gains;\n"
           "                          --html writes them as one page PAGE (charts, printable)\n"
           "\n"
           "Global options:\n"
           "  --device NODE|SERIAL    take this stick (device node or serial number)\n"
           "                          instead of the first one found\n"
           "  --simulate              use the built-in virtual stick, plugged in at start\n"
           "  --sim-eeprom FILE       the virtual stick's EEPROM as a 256-byte file (address\n"
           "                          i at offset i); made, filled with 0xFF, if missing;\n"
           "                          saved after every EEPROM write, a write that cannot\n"
           "                          be saved failing (default: kept in memory only)\n"
           "  --sim-input-length N    its input report length in bytes (default 64)\n"
           "  --sim-output-length N   its output report length in bytes (default 64)\n"
           "  --sim-reply-latency MS  each EEPROM read reply comes MS ms after its request\n"
           "  --sim-ignore-writes     write requests are accepted and nothing is stored\n"
           "  --sim-flip-bit ADDR     a write stores EEPROM address ADDR (0-255) with its\n"
           "                          lowest bit flipped\n"
           "  --record FILE           keep the production record FILE (CSV): the dialog\n"
           "                          and restore add one row per stick written, on disk\n"
           "                          before the stick counts as done\n"
           "  --script FILE           run the commands of FILE (- for standard input)\n"
           "                          without a terminal, printing every message box\n"
           "  --version               print the version and exit\n"
           "  -h, --help              show this text and exit\n"
           "  --                      ends the options: what follows is a command or a file\n"
           "\n"
           "Keys:\n"
           "  Space                   confirm the step shown (every key reaches the dialog)\n"
           "  Enter                   dismiss a message box\n"
           "  q, Ctrl+C               close the dialog (as its close box does)\n"
           "  Ctrl+Z, Ctrl+L          suspend; redraw\n"
           "  arrows, c, u            with --simulate: push the stick fully up, down, left\n"
           "                          or right; centre it; unplug it or plug it back\n"
           "\n"
           "Script commands, one a line (blank lines and # comments are ignored):\n"
           "  key NAME, keydown NAME, keyup NAME   space, enter, escape, tab, a letter or digit\n"
           "  stick X Y               move the virtual stick (decimal or 0x hex); waits until\n"
           "                          the dialog has processed a report at the new position\n"
           "  unplug, plug            unplug the virtual stick; plug it back in\n"
           "  wait MS                 let MS milliseconds pass: timers fire, the reader runs\n"
           "  click ID                a click of control ID (1006: READ EEPROM)\n"
           "  save PATH, cancel       the answer to the next save-file dialog (else cancel)\n"
           "  close                   close the dialog (the end of the script does too)\n"
           "  show                    print the visible step texts and pictures\n"
           "\n"
           "Exit status of the dialog: 0 when it closed normally, 1 when the program could\n"
           "not run (no terminal, no stick for a script, an unusable file), 2 for a bad\n"
           "command line or script (nothing has run then).\n"
           "Exit status of a command: 0 success; 1 a failure of the stick or of a file\n"
           "(none found, cannot read or write, restore not verified, verify found\n"
           "differences, standard output not written, the stick in use by another\n"
           "kx9calib); 2 bad usage (a bad command line, a block file that does not set\n"
           "all fourteen fields or holds a value a field cannot store); 128 + N a restore\n"
           "stopped by signal N, acted on once the block was written and read back.\n";
}

}  // namespace app
