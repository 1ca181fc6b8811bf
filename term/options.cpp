#include "term/options.h"

#include "term/script.h"

namespace term {
namespace {

bool ParseLength(const std::string& text, std::uint16_t* value) {
    std::uint32_t v = 0;
    if (!ParseScriptNumber(text, 0xFFFF, &v) || v == 0) return false;
    *value = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    Options o;
    bool simSetting = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // --name=value is the same as --name value.
        std::string name = a;
        std::string value;
        bool inlineValue = false;
        if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
            name = a.substr(0, a.find('='));
            value = a.substr(a.find('=') + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if ((name == "--help" || name == "-h") && !inlineValue) {
            o.help = true;
        } else if (name == "--version" && !inlineValue) {
            o.version = true;
        } else if (name == "--list" && !inlineValue) {
            o.list = true;
        } else if (name == "--simulate" && !inlineValue) {
            o.simulate = true;
        } else if (name == "--script") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = "--script needs a file name, or - for standard input";
                return false;
            }
            o.script = true;
            o.scriptPath = value;
        } else if (name == "--sim-eeprom") {
            if (!takeValue()) return false;
            if (value.empty()) {
                *error = "--sim-eeprom needs a file name";
                return false;
            }
            o.simEeprom = value;
            simSetting = true;
        } else if (name == "--sim-input-length" || name == "--sim-output-length") {
            if (!takeValue()) return false;
            std::uint16_t* target =
                name == "--sim-input-length" ? &o.simInputLength : &o.simOutputLength;
            if (!ParseLength(value, target)) {
                *error = name + " needs a report length of 1 to 65535 bytes";
                return false;
            }
            simSetting = true;
        } else {
            *error = "unknown option " + a + " (see --help)";
            return false;
        }
    }
    if (o.help || o.version) {
        *options = o;
        return true;
    }
    if (simSetting && !o.simulate) {
        *error = "the --sim-... options need --simulate";
        return false;
    }
    if (o.list && (o.script || o.simulate)) {
        *error = "--list stands alone";
        return false;
    }
    *options = o;
    return true;
}

std::string HelpText() {
    return "Usage: kx9calib [--simulate [SIM OPTIONS]] [--script FILE]\n"
           "       kx9calib --list\n"
           "\n"
           "Calibrates the X and Y axes of a Kx9 stick and writes the result to its EEPROM,\n"
           "in a full-screen terminal dialog. The configuration file\n"
           "kx9JoystickCalibration.txt is read from the current directory.\n"
           "\n"
           "Options:\n"
           "  --simulate              use the built-in virtual stick, plugged in at start\n"
           "  --sim-eeprom FILE       the virtual stick's EEPROM as a 256-byte file (address\n"
           "                          i at offset i); made, filled with 0xFF, if missing;\n"
           "                          saved after every EEPROM write and at exit\n"
           "                          (default: kept in memory only)\n"
           "  --sim-input-length N    its input report length in bytes (default 64)\n"
           "  --sim-output-length N   its output report length in bytes (default 64)\n"
           "  --script FILE           run the commands of FILE (- for standard input)\n"
           "                          without a terminal, printing every message box\n"
           "  --list                  list the game controllers found and exit\n"
           "  --version               print the version and exit\n"
           "  -h, --help              show this text and exit\n"
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
           "Exit status: 0 when the dialog closed normally, 1 when the program could not\n"
           "run (no terminal, no stick for a script, an unusable file), 2 for a bad command\n"
           "line or script (nothing has run then).\n";
}

}  // namespace term
