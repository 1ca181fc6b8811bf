// A dialog on the virtual window system with a virtual stick attached, run
// step by step from the test thread, in a scratch current folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"

using Positions = std::vector<std::pair<std::uint16_t, std::uint16_t>>;

// The worked example's positions for steps 1 to 5; at BF00 the stick is not
// yet far enough right, and that press is refused.
inline const Positions kWorkedWalk = {{0x8000, 0x7F80}, {0x8000, 0x0080}, {0xBF00, 0x8000},
                                      {0xFF00, 0x8000}, {0x8000, 0xFFFF}, {0x0000, 0x8000}};

using Strings = std::vector<std::string>;
inline const Strings kStep1 = {"PLUG", "PIC_1"};
inline const Strings kStep2 = {"PLUG", "UP", "PIC_2"};
inline const Strings kStep6 = {"PLUG", "UP", "RIGHT", "DOWN", "LEFT", "UNPLUG"};

// Answers save dialogs with a path chosen by the test (or cancels) and
// every box with OK.
class TestResponder : public plat::vws::Responder {
  public:
    bool AnswerFileDialog(const plat::vws::FileDialogCall&, std::string* path) override {
        *path = savePath;
        return !savePath.empty();
    }
    std::string savePath;
};

class WizardTest : public ::testing::Test {
  protected:
    static constexpr const char* kTitle = "Vormlark Joystick Calibration (Version 1.10)";
    static std::string Error(const char* text) { return "16 " + std::string(kTitle) + ": " + text; }
    static std::string Debug(const std::string& text) { return "0 Debug: " + text; }

    void SetUp() override;
    void TearDown() override;

    // The configuration file in the scratch folder (before OpenDialog).
    void WriteConfig(const std::string& text) {
        std::ofstream(dir_ / "kx9JoystickCalibration.txt", std::ios::binary) << text;
    }
    void OpenDialog(WizardObserver* observer = nullptr) {
        dlg_ = std::make_unique<CKx9JoystickCalibrationDlg>();
        dlg_->m_pObserver = observer;
        ui_ = std::make_unique<plat::vws::DialogDriver>(*dlg_);
        ASSERT_TRUE(ui_->Open());
    }
    // Moves the stick and waits until the reader has published the position.
    void MoveStick(std::uint16_t x, std::uint16_t y) {
        SetAxes(x, y);
        ASSERT_TRUE(desktop_.WaitUntil([&] { return dlg_->m_nCurX == x && dlg_->m_nCurY == y; },
                                       std::chrono::seconds(30)))
            << "reader never published " << std::hex << x << "," << y;
    }
    void PressSpace() {
        ui_->PostKeyDown(VK_SPACE);
        ui_->PostKeyUp(VK_SPACE);
        ui_->PumpAll();
    }
    // Moves to each position and presses Space there.
    void Walk(const Positions& positions = kWorkedWalk) {
        for (const auto& [x, y] : positions) {
            MoveStick(x, y);
            PressSpace();
        }
    }
    // One tick of the unplug poll.
    void Tick() {
        desktop_.AdvanceClock(500);
        ui_->PumpAll();
    }

    // Names of the visible step texts and pictures, in step order.
    Strings Visible() const;
    // Each box shown as "<type> <caption>: <text>".
    Strings Boxes() const;
    std::vector<std::uint8_t> EepromBlock() const {
        const sim::Eeprom e = stick_->EepromContents();
        return {e.begin() + 110, e.begin() + 128};
    }
    int CountJournal(const std::string& line) const {
        const std::vector<std::string> journal = desktop_.Journal();
        return static_cast<int>(std::count(journal.begin(), journal.end(), line));
    }

    plat::vws::Desktop desktop_{plat::vws::Clock::kManual};
    sim::SimHidDriver driver_;
    sim::VirtualStick* stick_ = nullptr;
    TestResponder responder_;
    std::unique_ptr<CKx9JoystickCalibrationDlg> dlg_;
    std::unique_ptr<plat::vws::DialogDriver> ui_;
    std::filesystem::path dir_;
    std::filesystem::path previousDir_;

  private:
    // Where the stick's position is set; the hidraw tests' firmware model
    // takes it instead of the virtual stick.
    virtual void SetAxes(std::uint16_t x, std::uint16_t y) { stick_->SetAxes(x, y); }
};
