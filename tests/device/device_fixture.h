// The dialog on the virtual window system with the virtual stick as the
// process's HID driver: what every device test starts from. The dialog is
// opened with no driver installed, so its own discovery at start-up finds
// nothing and each test decides what is attached.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace devtest {

inline const char kStickPath[] =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Only ever bounds a wait for a condition; nothing is timed.
inline constexpr auto kLimit = std::chrono::milliseconds(20000);

// Answers OK and lets a test look at the program's state while a box is open.
class WatchingResponder : public plat::vws::Responder {
  public:
    int AnswerMessageBox(const plat::vws::MessageBoxCall& call) override {
        if (onBox) onBox(call);
        return IDOK;
    }
    std::function<void(const plat::vws::MessageBoxCall&)> onBox;
};

inline sim::StickSettings Stick(std::uint16_t in = 64, std::uint16_t out = 64,
                                std::uint32_t rate = 0) {
    sim::StickSettings s;
    s.inputReportLength = in;
    s.outputReportLength = out;
    s.reportsPerSecond = rate;
    s.replyLatencyMs = 2;
    return s;
}

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        plat::InstallHid(nullptr);
        ASSERT_TRUE(window_.Open());
        plat::InstallHid(&driver_);
        desktop_.SetResponder(&responder_);
        desktop_.ClearRecords();
    }

    void TearDown() override {
        // The reader reads the controls, so it goes before the window.
        dlg_.CloseLink();
        if (dlg_.m_pDI != nullptr) {
            dlg_.m_pDI->Release();
            dlg_.m_pDI = nullptr;
        }
        window_.Close();
        desktop_.SetResponder(nullptr);
        plat::InstallHid(nullptr);
    }

    // The link opened on the stick's path, as discovery would.
    void OpenOn(const char* path = kStickPath) {
        std::strncpy(dlg_.m_szDevicePath, path, sizeof dlg_.m_szDevicePath - 1);
        dlg_.OpenLink();
    }

    bool Eventually(const std::function<bool()>& check) {
        return desktop_.WaitUntil(check, kLimit);
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : desktop_.MessageBoxes()) texts.push_back(box.call.text);
        return texts;
    }

    // Every box so far is a device diagnostic: caption "Debug", OK, no icon.
    void ExpectDebugBoxes() const {
        for (const auto& box : desktop_.MessageBoxes()) {
            EXPECT_EQ(box.call.caption, "Debug") << box.call.text;
            EXPECT_EQ(box.call.type, 0u) << box.call.text;
        }
    }

    plat::vws::Desktop desktop_{plat::vws::Clock::kReal};
    WatchingResponder responder_;
    sim::SimHidDriver driver_;
    CKx9JoystickCalibrationDlg dlg_;
    plat::vws::DialogDriver window_{dlg_};
};

}  // namespace devtest
