#include "app/dialog_run.h"

#include <fstream>
#include <iostream>
#include <memory>

#include "app/kx9_calibration_app.h"
#include "platform/current_folder.h"
#include "platform/terminal.h"
#include "platform/virtual_window_system.h"
#include "service/dialog_record.h"
#include "service/record_file.h"
#include "service/locked_stick_driver.h"
#include "term/front_end.h"
#include "script/script_runner.h"
#include "ui/kx9_joystick_calibration_dlg.h"

extern CKx9CalibrationApp theApp;

namespace app {
namespace {

std::string NodeForAdvice(const DialogRun& run) {
    const std::string node = run.node ? run.node() : std::string();
    return node.empty() ? plat::UnknownStickNode() : node;
}

int RunScript(DialogRun& run) {
    plat::vws::Desktop desktop(plat::vws::Clock::kManual);
    script::ScriptRunner runner(std::move(run.script), run.stick, std::cout, std::cerr,
                                plat::CurrentFolder());
    runner.Attach(desktop);
    theApp.InitInstance();
    runner.Detach(desktop);
    if (const int line = runner.UnrunLine()) {
        std::cerr << "kx9calib: the dialog ended before line " << line
                  << " of the script; the rest did not run\n";
    }
    if (run.system != nullptr &&
        run.system->LastOpenFailure() == plat::OpenFailure::kPermissionDenied) {
        const std::string advice = plat::OpenRightsAdvice(NodeForAdvice(run), DeviceIdentity);
        if (!advice.empty()) std::cerr << advice << "\n";
    }
    return runner.Failed() ? 1 : 0;
}

int RunInTerminal(DialogRun& run) {
    plat::vws::Desktop desktop(plat::vws::Clock::kReal);
    term::FrontEndOptions frontOptions;
    frontOptions.stick = run.stick;
    if (run.system != nullptr || run.inUse) {
        frontOptions.note = [&run, cached = std::string()]() mutable -> std::string {
            // Taken by another kx9calib since the dialog started: the open's
            // own box does not say why.
            if (const std::string inUse = run.inUse ? run.inUse() : ""; !inUse.empty()) {
                return service::InUseMessage(inUse);
            }
            if (run.system == nullptr ||
                run.system->LastOpenFailure() != plat::OpenFailure::kPermissionDenied) {
                cached.clear();
                return {};
            }
            if (cached.empty()) cached = plat::OpenRightsAdvice(NodeForAdvice(run), DeviceIdentity);
            return cached;
        };
    }
    term::TerminalFrontEnd frontEnd(frontOptions);
    if (!frontEnd.Run(desktop, [] { theApp.InitInstance(); })) {
        const std::string why = plat::TerminalRefusal();
        std::cerr << "kx9calib: cannot take the terminal" << (why.empty() ? "" : ": ") << why
                  << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

bool ReadScript(const std::string& path, std::vector<script::ScriptCommand>* commands,
                std::string* error) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            *error = "cannot read the script " + path;
            return false;
        }
        in = &file;
    }
    script::ScriptError e;
    if (!script::ParseScript(*in, commands, &e)) {
        *error = (path == "-" ? std::string("<stdin>") : path) + ":" + std::to_string(e.line) +
                 ": " + e.message;
        return false;
    }
    return true;
}

int RunDialog(DialogRun run) {
    std::unique_ptr<service::DialogRecord> record;
    if (!run.options->record.empty()) {
        if (const std::string refused = service::CheckRecordFile(run.options->record);
            !refused.empty()) {
            std::cerr << "kx9calib: " << refused << "\n";
            return 1;
        }
        record = std::make_unique<service::DialogRecord>(run.options->record, run.list);
        theApp.m_pWizardObserver = record.get();
    }
    const int status = run.options->script ? RunScript(run) : RunInTerminal(run);
    theApp.m_pWizardObserver = nullptr;
    return status;
}

}  // namespace app
