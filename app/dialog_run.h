// The calibration dialog of kx9calib, run from a script without a terminal
// or interactively in the terminal, on the HID driver already installed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/system_hid.h"
#include "app/options.h"
#include "script/script.h"
#include "service/found_sticks.h"
#include "term/stick_control.h"

namespace app {

// The script named by --script ("-": standard input); false with the file
// and line of what is wrong.
bool ReadScript(const std::string& path, std::vector<script::ScriptCommand>* commands,
                std::string* error);

struct DialogRun {
    const app::Options* options = nullptr;
    std::vector<script::ScriptCommand> script;  // with --script
    term::StickControl* stick = nullptr;        // the virtual stick, or null
    plat::SystemHidDriver* system = nullptr;    // the real sticks' driver, or null
    // The stick the last open found in use by another kx9calib; empty: none.
    std::function<std::string()> inUse;
    // The node of the stick the dialog would take (empty: none), for the
    // advice on a node that cannot be opened; asked only then.
    std::function<std::string()> node;
    // The controllers attached, for the serial number in the record.
    std::function<std::vector<service::FoundController>()> list;
};

// The program's exit status.
int RunDialog(DialogRun run);

}  // namespace app
