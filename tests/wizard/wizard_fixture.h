// A dialog on the virtual window system with a virtual stick attached, run
// step by step from the test thread, in a scratch current folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/virtual_window_system.h"
#include "sim/virtual_stick.h"
#include "ui/kx9_joystick_calibration_dlg.h"

// Answers save dialogs with a path chosen by the test (or cancels) and
// every box with OK.
class TestResponder : public plat::vws::Responder {
  public:
    bool AnswerFileDialog(const plat::vws::FileDialogCall&, std::string* path) override {
        if (savePath.empty()) return false;
        *path = savePath;
        return true;
    }
    std::string savePath;
};

class WizardTest : public ::testing::Test {
  protected:
    static constexpr const char* kTitle = "Vormlark Joystick Calibration (Version 1.10)";

    void SetUp() override;
    void TearDown() override;

    // The configuration file in the scratch folder (before OpenDialog).
    void WriteConfig(const std::string& text);
    void OpenDialog();

    // Moves the stick and waits until the reader has published the position.
    void MoveStick(std::uint16_t x, std::uint16_t y);
    void PressSpace();
    // Walks steps 1 to 5 with the worked example's positions.
    void WalkWorkedExample();

    // Names of the visible step texts and pictures, in step order.
    std::vector<std::string> Visible() const;
    std::vector<plat::vws::MessageBoxRecord> Boxes() const { return desktop_.MessageBoxes(); }
    std::vector<std::uint8_t> EepromBlock() const;
    int CountJournal(const std::string& line) const;

    plat::vws::Desktop desktop_{plat::vws::Clock::kManual};
    sim::SimHidDriver driver_;
    sim::VirtualStick* stick_ = nullptr;
    TestResponder responder_;
    std::unique_ptr<CKx9JoystickCalibrationDlg> dlg_;
    std::unique_ptr<plat::vws::DialogDriver> ui_;
    std::filesystem::path dir_;
    std::filesystem::path previousDir_;
};

std::vector<std::string> Steps(std::initializer_list<const char*> names);
