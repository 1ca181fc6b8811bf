// kx9calib: the calibration dialog in a Linux terminal, on a real stick
// through hidraw or on the built-in virtual stick, interactively or from a
// script. The same application object and dialog as the Windows program run
// on the virtual window system; only the front-end differs.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/kx9_calibration_app.h"
#include "generated/version.h"
#include "platform/hidraw_driver.h"
#include "platform/terminal.h"
#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "term/clean_text.h"
#include "term/front_end.h"
#include "term/options.h"
#include "term/script.h"
#include "term/script_runner.h"
#include "ui/kx9_joystick_calibration_dlg.h"

extern CKx9CalibrationApp theApp;

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

std::string CurrentFolder() {
    std::error_code ec;
    const std::string folder = std::filesystem::current_path(ec).string();
    return ec ? std::string(".") : folder;
}

// Through a temporary file, so that an interrupted save never leaves half
// an image behind.
bool WriteEepromFile(const std::string& file, const sim::Eeprom& contents) {
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(contents.data()),
                  static_cast<std::streamsize>(contents.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    return !ec;
}

// The virtual stick as the front-ends see it, keeping its EEPROM file up to
// date: written whenever the EEPROM differs from what was last saved, through
// a temporary file so that an interrupted save never leaves half an image.
class SimStick final : public term::StickControl {
  public:
    SimStick(sim::VirtualStick& stick, std::string eepromFile)
        : m_stick(stick), m_file(std::move(eepromFile)), m_saved(stick.EepromContents()) {}

    void SetAxes(std::uint16_t x, std::uint16_t y) override {
        m_x = x;
        m_y = y;
        m_stick.SetAxes(x, y);
    }
    std::uint16_t X() const override { return m_x; }
    std::uint16_t Y() const override { return m_y; }
    void Unplug() override { m_stick.Unplug(); }
    void Plug() override { m_stick.Plug(); }
    bool Plugged() const override { return m_stick.Plugged(); }
    std::uint64_t ReportsConsumed() const override { return m_stick.ReportsConsumed(); }

    void Sync() override {
        if (m_file.empty()) return;
        const sim::Eeprom now = m_stick.EepromContents();
        if (now == m_saved) return;
        if (WriteEepromFile(m_file, now)) m_saved = now;
    }

  private:
    sim::VirtualStick& m_stick;
    std::string m_file;
    sim::Eeprom m_saved;
    std::atomic<std::uint16_t> m_x{0x8000};
    std::atomic<std::uint16_t> m_y{0x8000};
};

// Makes the virtual stick's EEPROM from its file: loaded when the file is
// there, otherwise a new image of 0xFF bytes, written at once.
bool PrepareEeprom(sim::VirtualStick& stick, const std::string& file, std::string* error) {
    sim::Eeprom blank;
    blank.fill(0xFF);
    stick.SetEeprom(blank);
    if (file.empty()) return true;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        if (!stick.LoadEeprom(file)) {
            *error = file + " is not a 256-byte EEPROM image (left as it is)";
            return false;
        }
        return true;
    }
    if (!WriteEepromFile(file, blank)) {
        *error = "cannot create " + file;
        return false;
    }
    return true;
}

std::string Hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
    return buf;
}

int List() {
    const std::vector<plat::HidrawController> found = plat::ListHidrawControllers();
    if (found.empty()) {
        std::cout << "No game controllers found.\n";
        return kExitOk;
    }
    // Discovery takes the first controller with the stick's identity.
    const plat::HidrawController* taken = nullptr;
    for (const auto& c : found) {
        if (c.vidPid == DeviceIdentity) {
            taken = &c;
            break;
        }
    }
    for (const auto& c : found) {
        std::cout << (&c == taken ? "* " : "  ") << Hex4(c.vidPid & 0xFFFF) << ":"
                  << Hex4(c.vidPid >> 16) << "  " << term::CleanText(c.path) << "  input "
                  << c.inputReportLength << " bytes, output " << c.outputReportLength << " bytes";
        // A device names itself: its name may hold anything.
        if (!c.name.empty()) std::cout << "  " << term::CleanText(c.name);
        std::cout << "\n";
    }
    if (taken == nullptr) {
        std::cout << "No Kx9 stick (" << Hex4(DeviceIdentity & 0xFFFF) << ":"
                  << Hex4(DeviceIdentity >> 16) << ") among them.\n";
        return kExitOk;
    }
    std::cout << "* the stick that kx9calib takes\n";
    // Finding the stick is not enough: say now if it cannot be opened.
    std::unique_ptr<plat::HidrawDriver> driver = plat::MakeHidrawDriver();
    const plat::Handle h = driver->Open(taken->path.c_str());
    if (h != plat::InvalidHandle() && h != nullptr) {
        driver->Close(h);
    } else if (driver->LastOpenFailure() == plat::OpenFailure::kPermissionDenied) {
        std::cout << "\n"
                  << plat::PermissionDeniedMessage(term::CleanText(taken->path), taken->vidPid)
                  << "\n";
    }
    return kExitOk;
}

bool ReadScript(const std::string& path, std::vector<term::ScriptCommand>* commands,
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
    term::ScriptError e;
    if (!term::ParseScript(*in, commands, &e)) {
        *error = (path == "-" ? std::string("<stdin>") : path) + ":" + std::to_string(e.line) +
                 ": " + e.message;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    term::Options options;
    std::string error;
    if (!term::ParseOptions(args, &options, &error)) return Fail(kExitUsage, error);
    if (options.help) {
        std::cout << term::HelpText();
        return kExitOk;
    }
    if (options.version) {
        std::cout << "kx9calib " << kKx9Version << "\n";
        return kExitOk;
    }
    if (options.list) return List();

    std::vector<term::ScriptCommand> commands;
    if (options.script) {
        if (!ReadScript(options.scriptPath, &commands, &error)) return Fail(kExitUsage, error);
        int line = 0;
        if (!options.simulate && term::ScriptNeedsVirtualStick(commands, &line)) {
            return Fail(kExitUsage, options.scriptPath + ":" + std::to_string(line) +
                                        ": stick, unplug and plug need --simulate");
        }
    } else if (!plat::StdinIsTerminal() || !plat::StdoutIsTerminal()) {
        return Fail(kExitCannotRun,
                    "the dialog needs a terminal; use --script FILE to run without one");
    }

    // The HID driver: the virtual stick, or the sticks attached to this machine.
    std::unique_ptr<sim::SimHidDriver> simDriver;
    std::unique_ptr<SimStick> simStick;
    std::unique_ptr<plat::HidrawDriver> hidraw;
    if (options.simulate) {
        simDriver = std::make_unique<sim::SimHidDriver>();
        sim::StickSettings settings;
        settings.inputReportLength = options.simInputLength;
        settings.outputReportLength = options.simOutputLength;
        sim::VirtualStick& stick = simDriver->AddStick(settings);
        stick.SetAxes(0x8000, 0x8000);
        if (!PrepareEeprom(stick, options.simEeprom, &error)) {
            return Fail(kExitCannotRun, error);
        }
        simStick = std::make_unique<SimStick>(stick, options.simEeprom);
        plat::InstallHid(simDriver.get());
    } else {
        if (options.script) {
            bool attached = false;
            for (const auto& c : plat::ListHidrawControllers())
                attached |= c.vidPid == DeviceIdentity;
            if (!attached) {
                return Fail(kExitCannotRun,
                            "no stick is attached; --simulate runs the script on "
                            "the virtual stick");
            }
        }
        hidraw = plat::MakeHidrawDriver();
        plat::InstallHid(hidraw.get());
    }

    int status = kExitOk;
    if (options.script) {
        plat::vws::Desktop desktop(plat::vws::Clock::kManual);
        term::ScriptRunner runner(std::move(commands), simStick.get(), std::cout, std::cerr,
                                  CurrentFolder());
        runner.Attach(desktop);
        theApp.InitInstance();
        runner.Detach(desktop);
        if (const int line = runner.UnrunLine()) {
            std::cerr << "kx9calib: the dialog ended before line " << line
                      << " of the script; the rest did not run\n";
        }
        if (hidraw && hidraw->LastOpenFailure() == plat::OpenFailure::kPermissionDenied) {
            std::cerr << plat::PermissionDeniedMessage("the stick's hidraw node", DeviceIdentity)
                      << "\n";
        }
    } else {
        plat::vws::Desktop desktop(plat::vws::Clock::kReal);
        term::FrontEndOptions frontOptions;
        frontOptions.stick = simStick.get();
        if (hidraw) {
            plat::HidrawDriver* driver = hidraw.get();
            frontOptions.note = [driver, cached = std::string()]() mutable -> std::string {
                if (driver->LastOpenFailure() != plat::OpenFailure::kPermissionDenied) {
                    cached.clear();
                    return {};
                }
                if (cached.empty()) {
                    std::string node = "the stick's hidraw node";
                    for (const auto& c : plat::ListHidrawControllers()) {
                        if (c.vidPid == DeviceIdentity) {
                            node = c.path;
                            break;
                        }
                    }
                    cached = plat::PermissionDeniedMessage(node, DeviceIdentity);
                }
                return cached;
            };
        }
        term::TerminalFrontEnd frontEnd(frontOptions);
        if (!frontEnd.Run(desktop, [] { theApp.InitInstance(); })) {
            status = Fail(kExitCannotRun, "cannot take the terminal");
        }
    }
    if (simStick) simStick->Sync();
    // The driver goes before anything that it could still call back.
    plat::InstallHid(nullptr);
    return status;
}
