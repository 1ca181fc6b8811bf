// The script mode of kx9calib: a text of commands, one a line, that drives
// the dialog without a terminal, for automation and bug reports.
//
//   key NAME | keydown NAME | keyup NAME   NAME: space enter escape tab, a letter or digit
//   stick X Y                              decimal or 0x hexadecimal, 0..65535
//   unplug | plug
//   wait MS                                time passes: timers fire, the reader runs
//   click ID                               BN_CLICKED from control ID
//   save PATH | cancel                     the answer to the next save-file dialog
//   close                                  WM_CLOSE
//   show                                   prints the visible step texts and pictures
//
// Blank lines and lines starting with '#' are ignored.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace script {

enum class ScriptOp {
    kKey,
    kKeyDown,
    kKeyUp,
    kStick,
    kUnplug,
    kPlug,
    kWait,
    kClick,
    kSave,
    kCancel,
    kClose,
    kShow,
};

struct ScriptCommand {
    ScriptOp op = ScriptOp::kShow;
    int line = 0;
    unsigned vk = 0;  // key commands
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint32_t ms = 0;  // wait
    int id = 0;            // click
    std::string path;      // save
};

struct ScriptError {
    int line = 0;
    std::string message;
};

// The longest wait a script may ask for in one command (one hour).
inline constexpr std::uint32_t kMaxScriptWaitMs = 3600000;

// The virtual key of a key name, or 0 when it is none.
unsigned ScriptKeyCode(std::string_view name);
// Decimal, or hexadecimal after "0x"/"0X"; false when malformed or above max.
bool ParseScriptNumber(std::string_view text, std::uint32_t max, std::uint32_t* value);

// Reads the whole script; false at the first bad line, with its number and
// what is wrong, before anything has run.
bool ParseScript(std::istream& in, std::vector<ScriptCommand>* commands, ScriptError* error);

// Whether any command moves or unplugs a stick, which only the virtual
// stick can do.
bool ScriptNeedsVirtualStick(const std::vector<ScriptCommand>& commands, int* line);

}  // namespace script
