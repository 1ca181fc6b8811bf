// The entry point of Kx9JoystickCalibrationSim, the Windows program built on
// the virtual stick for the end-to-end tests: the same application object,
// dialog and resources as the shipped program, with one plugged virtual
// stick behind the HID seam instead of DirectInput and hid.dll.
//
// Two environment variables let a test harness work the stick while the
// program runs (tests/e2e/control_file.h):
//   KX9_SIM_CONTROL  control file to follow (axes, unplug, plug, faults)
//   KX9_SIM_EEPROM   the stick's EEPROM image (app/eeprom_file.h): made when
//                    it is not there, read whenever the stick opens, saved
//                    after every EEPROM write request
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/eeprom_file.h"
#include "platform/dialog.h"
#include "platform/hid.h"
#include "sim/virtual_stick.h"
#include "tests/e2e/control_file.h"
#include "tests/e2e/sim_stick.h"

namespace {

constexpr auto kFollowPeriod = std::chrono::milliseconds(10);
constexpr int kExitBadEeprom = 2;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Says why the program refuses to start, where a person sees it; the harness
// finds the same text in the program's error output.
void Refuse(const std::string& reason) {
    std::fprintf(stderr, "Kx9JoystickCalibrationSim: %s\n", reason.c_str());
    std::fflush(stderr);
    MessageBoxA(nullptr, reason.c_str(), "Kx9JoystickCalibrationSim", MB_OK | MB_ICONHAND);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    sim::SimHidDriver driver;
    sim::VirtualStick& stick = driver.AddStick();
    stick.SetAxes(0x8000, 0x8000);

    std::string error;
    if (!app::EepromFile(Env("KX9_SIM_EEPROM")).Keep(stick, &error)) {
        Refuse(error);
        return kExitBadEeprom;
    }

    e2e::VirtualStickActions actions(stick);
    const std::string controlPath = Env("KX9_SIM_CONTROL");
    std::unique_ptr<e2e::ControlFollower> follower;
    if (!controlPath.empty())
        follower = std::make_unique<e2e::ControlFollower>(controlPath, actions);

    std::atomic<bool> stop{false};
    std::thread control([&] {
        while (!stop.load()) {
            if (follower) follower->Poll();
            std::this_thread::sleep_for(kFollowPeriod);
        }
    });

    plat::InstallHid(&driver);
    CWinApp* app = AfxGetApp();
    if (app != nullptr) {
        app->m_hInstance = instance;
        app->InitInstance();
    }
    // The dialog has closed its link; nothing uses the driver any more.
    plat::InstallHid(nullptr);

    stop = true;
    control.join();
    return 0;
}
