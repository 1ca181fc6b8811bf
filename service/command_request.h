// What kx9calib's command line asks of a service command: which command,
// which stick, and the command's own options.
#pragma once

#include <string>
#include <vector>

namespace service {

inline constexpr const char* kDefaultDumpFile = "Kx9_Joystick_FW.txt";

enum class Command {
    kDialog,  // no command: the calibration dialog (or its script)
    kDump,
    kRestore,
    kVerify,
    kList,
    kReport,
};

struct CommandRequest {
    Command command = Command::kDialog;
    std::string device;  // a node or a serial; empty: the first stick

    bool force = false;  // dump: replace an existing file
    bool json = false;   // list, report
    std::string backup;  // restore: where the backup goes; empty: a dated name
    bool noBackup = false;
    std::string file;  // dump: the file ("-" standard output); restore, verify: the block
    std::vector<std::string> records;  // report: the production records read
    std::string html;                  // report: the page to write; empty: none
    std::string record;                // dialog, restore: the production record; empty: none kept
};

}  // namespace service
