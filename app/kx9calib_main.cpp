// kx9calib: the calibration dialog in a Linux terminal, on a real stick
// through hidraw or on the built-in virtual stick, interactively or from a
// script; and the service commands (dump, restore, verify, list) on the same
// device code. The same application object and dialog as the Windows
// program run on the virtual window system; only the front-end differs.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog_run.h"
#include "app/eeprom_file.h"
#include "app/virtual_stick_setup.h"
#include "generated/version.h"
#include "platform/std_descriptors.h"
#include "platform/stick_lock.h"
#include "platform/system_hid.h"
#include "platform/terminal.h"
#include "sim/virtual_stick.h"
#include "term/clean_text.h"
#include "service/found_sticks.h"
#include "app/options.h"
#include "app/stick_wiring.h"
#include "script/script.h"
#include "service/service_commands.h"
#include "ui/kx9_joystick_calibration_dlg.h"

// The dialog keeps its input system until discovery runs again and never
// releases the last one: it lives as long as the process, by design. Leak
// checking (sanitizer builds) is told so; other builds never call this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:CreateInputSystem\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCannotRun = 1;
constexpr int kExitUsage = 2;

int Fail(int status, const std::string& message) {
    std::cerr << "kx9calib: " << term::CleanText(message) << "\n";
    return status;
}

// Help and version go to standard output, which the user may have closed
// or pointed at a full disk: that is a failure too.
int Print(const std::string& text) {
    std::cout << text << std::flush;
    if (std::cout) return kExitOk;
    return Fail(kExitCannotRun, "cannot write to standard output");
}

std::vector<service::FoundController> FoundAttachedControllers() {
    std::vector<service::FoundController> found;
    for (const plat::AttachedController& c : plat::ListAttachedControllers()) {
        found.push_back({c.path, c.vidPid, c.name, c.serial, c.port, c.inputReportLength,
                         c.outputReportLength});
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything is opened: a stick's node must never become standard
    // output.
    plat::OpenClosedStandardDescriptors();
    plat::IgnoreBrokenPipes();
    const std::vector<std::string> args(argv + 1, argv + argc);
    app::Options options;
    std::string error;
    if (!app::ParseOptions(args, &options, &error)) return Fail(kExitUsage, error);
    if (options.help) return Print(app::HelpText());
    if (options.version) return Print(std::string("kx9calib ") + kKx9Version + "\n");
    const bool dialog = options.command == service::Command::kDialog;

    std::vector<script::ScriptCommand> script;
    if (dialog && options.script) {
        if (!app::ReadScript(options.scriptPath, &script, &error)) return Fail(kExitUsage, error);
        int line = 0;
        if (!options.simulate && script::ScriptNeedsVirtualStick(script, &line)) {
            return Fail(kExitUsage, options.scriptPath + ":" + std::to_string(line) +
                                        ": stick, unplug and plug need --simulate");
        }
    } else if (dialog && (!plat::StdinIsTerminal() || !plat::StdoutIsTerminal())) {
        return Fail(kExitCannotRun,
                    "the dialog needs a terminal; use --script FILE to run without one");
    }

    // The HID driver: the virtual stick, or the sticks attached to this machine.
    std::unique_ptr<sim::SimHidDriver> simDriver;
    std::unique_ptr<app::SimStick> simStick;
    std::vector<sim::VirtualStick*> virtualSticks;
    std::unique_ptr<plat::SystemHidDriver> system;
    plat::HidDriver* hid = nullptr;
    std::function<std::vector<service::FoundController>()> list;
    if (options.simulate) {
        simDriver = std::make_unique<sim::SimHidDriver>();
        sim::VirtualStick& stick = simDriver->AddStick(app::VirtualStickSettings(options));
        stick.SetFaults(app::VirtualStickFaults(options));
        stick.SetAxes(0x8000, 0x8000);
        if (!app::EepromFile(options.simEeprom).Keep(stick, &error)) {
            return Fail(kExitCannotRun, error);
        }
        simStick = std::make_unique<app::SimStick>(stick);
        virtualSticks.push_back(&stick);
        hid = simDriver.get();
        list = [&virtualSticks] { return app::FoundVirtualSticks(virtualSticks); };
    } else {
        system = plat::MakeSystemHidDriver();
        hid = system.get();
        list = FoundAttachedControllers;
    }
    app::StickWiring sticks(options, *hid, list);
    hid = &sticks.Hid();

    int status = kExitOk;
    if (!dialog) {
        service::CommandEnvironment env = sticks.Commands(std::cout, std::cerr);
        env.width = [] { return plat::StdoutIsTerminal() ? plat::GetTerminalSize().columns : 80; };
        if (system) {
            plat::SystemHidDriver* driver = system.get();
            env.openAdvice = [driver]() -> std::string {
                if (driver->LastOpenFailure() != plat::OpenFailure::kPermissionDenied) return {};
                return plat::OpenRightsAdvice(plat::UnknownStickNode(), DeviceIdentity);
            };
            env.accessAdvice = [driver](const service::FoundController& c) -> std::string {
                const plat::Handle h = driver->Open(c.node.c_str());
                if (h != plat::InvalidHandle() && h != nullptr) {
                    driver->Close(h);
                    return {};
                }
                if (driver->LastOpenFailure() != plat::OpenFailure::kPermissionDenied) return {};
                return plat::OpenRightsAdvice(term::CleanText(c.node), c.vidPid);
            };
        }
        status = service::RunServiceCommand(options, env);
    } else {
        std::string notFound;
        const std::vector<service::FoundController> found = list();
        const int index = service::ChooseStick(found, options.device, &notFound);
        // A stick named and not there is an error; with none named, the
        // dialog itself searches (and a script needs one now).
        if (index < 0 && (!options.device.empty() || (options.script && !options.simulate))) {
            return Fail(kExitCannotRun,
                        options.device.empty()
                            ? "no stick is attached; --simulate runs the script on the "
                              "virtual stick"
                            : notFound);
        }
        // Refused at once, not at the dialog's first open of the link; the
        // link takes the lock for good when it opens.
        if (index >= 0) {
            const service::StickLockName name =
                sticks.LockName(found[static_cast<std::size_t>(index)].node);
            plat::StickLock probe;
            if (!name.path.empty() &&
                probe.Take(name.path, name.makeMissing) == plat::StickLockResult::kInUse) {
                return Fail(kExitCannotRun, service::InUseMessage(name.shown));
            }
        }
        plat::InstallHid(hid);
        app::DialogRun run;
        run.options = &options;
        run.script = std::move(script);
        run.stick = simStick.get();
        run.system = system.get();
        run.inUse = [&sticks] { return sticks.InUse(); };
        run.list = list;
        run.node = [&list, &options]() -> std::string {
            std::string ignored;
            const std::vector<service::FoundController> found = list();
            const int i = service::ChooseStick(found, options.device, &ignored);
            return i < 0 ? std::string() : found[static_cast<std::size_t>(i)].node;
        };
        status = app::RunDialog(std::move(run));
    }
    // The driver goes before anything that it could still call back.
    plat::InstallHid(nullptr);
    return status;
}
