// On Windows the machine's HID driver is the dialog program's own, and the
// list walks the attached game controllers as its discovery does, then asks
// hid.dll what the list shows. Access to a HID game controller is not a
// matter of rights an administrator hands out: a refused open is another
// program holding it, which the failure already says.
#include <windows.h>
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <string>

#include "platform/utf16.h"
#include "platform/win32/hid_win32.h"

namespace plat {
namespace {

// The HID string calls take a buffer of at most 4093 bytes, the last
// character a NUL.
constexpr ULONG kStringBytes = 4092;

using HidStringCall = BOOLEAN(__stdcall*)(HANDLE, PVOID, ULONG);

std::string HidString(HANDLE device, HidStringCall call) {
    std::u16string text(kStringBytes / sizeof(char16_t), u'\0');
    if (!call(device, text.data(), kStringBytes)) return {};
    return Utf8FromUtf16(text);
}

struct Walk {
    InputSystem* system;
    std::vector<AttachedController>* found;
};

int OneController(const DeviceInstance* instance, void* context) {
    const Walk* walk = static_cast<const Walk*>(context);
    InputDevice* device = nullptr;
    if (instance == nullptr || !walk->system->CreateDevice(*instance, &device) ||
        device == nullptr) {
        return kDienumContinue;
    }
    AttachedController controller;
    GuidAndPath record{};
    const bool known = device->GetVidPid(&controller.vidPid) && device->GetGuidAndPath(&record);
    device->Release();
    if (!known) return kDienumContinue;
    const std::u16string_view wide(record.wszPath, sizeof record.wszPath / sizeof(char16_t));
    controller.path = Utf8FromUtf16(wide);
    // No access asked for: the queries need none, and a stick another
    // program has open is still listed.
    std::u16string path(wide.substr(0, wide.find(u'\0')));
    const HANDLE file =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        controller.name = HidString(file, HidD_GetProductString);
        controller.serial = HidString(file, HidD_GetSerialNumberString);
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (HidD_GetPreparsedData(file, &preparsed)) {
            HIDP_CAPS caps{};
            if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
                controller.usagePage = caps.UsagePage;
                controller.usage = caps.Usage;
                controller.inputReportLength = caps.InputReportByteLength;
                controller.outputReportLength = caps.OutputReportByteLength;
            }
            HidD_FreePreparsedData(preparsed);
        }
        CloseHandle(file);
    }
    walk->found->push_back(std::move(controller));
    return kDienumContinue;
}

}  // namespace

std::unique_ptr<SystemHidDriver> MakeSystemHidDriver() {
    return std::make_unique<Win32HidDriver>();
}

std::vector<AttachedController> ListAttachedControllers() {
    std::vector<AttachedController> found;
    Win32HidDriver driver;
    InputSystem* system = nullptr;
    if (!driver.CreateInputSystem(&system) || system == nullptr) return found;
    Walk walk{system, &found};
    system->EnumDevices(&OneController, &walk);
    system->Release();
    return found;
}

std::string OpenRightsAdvice(const std::string&, std::uint32_t) {
    return {};
}

std::string UnknownStickNode() {
    return "the stick's device path";
}

}  // namespace plat
