// The dialog on the virtual window system with the virtual stick as the
// process's HID driver. The dialog is opened with no driver installed, so its
// own discovery at start-up finds nothing and each test decides what is
// attached.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace devtest {

inline const char kStickPath[] =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Only ever bounds a wait for a condition; nothing is timed.
inline constexpr auto kLimit = std::chrono::milliseconds(20000);

inline sim::StickSettings Stick(std::uint16_t in = 64, std::uint16_t out = 64,
                                std::uint32_t rate = 0) {
    return {.inputReportLength = in, .outputReportLength = out, .reportsPerSecond = rate};
}

// Answers every box OK, letting a test look at the program's state meanwhile.
class DeviceTest : public ::testing::Test, public plat::vws::Responder {
  protected:
    void SetUp() override {
        ASSERT_TRUE(window_.Open());  // no driver installed yet (see TearDown)
        Fresh();
        desktop_.SetResponder(this);
    }

    int AnswerMessageBox(const plat::vws::MessageBoxCall&) override {
        if (onBox_) onBox_();
        return IDOK;
    }

    void TearDown() override {
        // The reader reads the controls, so it goes before the window.
        Detach();
        window_.Close();
        desktop_.SetResponder(nullptr);
        plat::InstallHid(nullptr);
    }

    // Nothing of the dialog's refers to the installed driver afterwards.
    void Detach() {
        dlg_.CloseLink();
        if (dlg_.m_pDI != nullptr) dlg_.m_pDI->Release();
        dlg_.m_pDI = nullptr;
    }

    // An empty driver installed in place of the last, and no boxes so far:
    // where each row of a table starts.
    sim::SimHidDriver& Fresh() {
        Detach();
        driver_ = std::make_unique<sim::SimHidDriver>();
        plat::InstallHid(driver_.get());
        desktop_.ClearRecords();
        return *driver_;
    }

    // A fresh stick with the link opened on its path, as discovery would.
    sim::VirtualStick& Attach(const sim::StickSettings& settings, const sim::StickFaults& f = {}) {
        sim::VirtualStick& stick = Fresh().AddStick(settings);
        stick.SetFaults(f);
        std::strcpy(dlg_.m_szDevicePath, kStickPath);
        dlg_.OpenLink();
        return stick;
    }

    bool Eventually(const std::function<bool()>& check) {
        return desktop_.WaitUntil(check, kLimit);
    }

    // The boxes so far, each a device diagnostic: caption "Debug", OK, no icon.
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : desktop_.MessageBoxes()) {
            EXPECT_EQ(box.call.caption, "Debug") << box.call.text;
            EXPECT_EQ(box.call.type, 0u) << box.call.text;
            texts.push_back(box.call.text);
        }
        return texts;
    }

    plat::vws::Desktop desktop_{plat::vws::Clock::kReal};
    std::function<void()> onBox_;
    std::unique_ptr<sim::SimHidDriver> driver_;
    CKx9JoystickCalibrationDlg dlg_;
    plat::vws::DialogDriver window_{dlg_};
};

}  // namespace devtest
