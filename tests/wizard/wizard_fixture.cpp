#include "tests/wizard/wizard_fixture.h"

#include <random>

#include "ui/resource.h"

namespace fs = std::filesystem;

void WizardTest::SetUp() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("kx9-wizard-" + std::to_string(rd()));
    fs::create_directories(dir_);
    previousDir_ = fs::current_path();
    fs::current_path(dir_);

    stick_ = &driver_.AddStick({.reportsPerSecond = 1000});  // the reader racing the UI thread
    plat::InstallHid(&driver_);
    desktop_.SetResponder(&responder_);
}

void WizardTest::TearDown() {
    if (dlg_) {
        // Whatever state the test left, the link goes before the dialog.
        dlg_->CloseLink();
        ui_->Close();
        // The program keeps the last input system for its lifetime; a test
        // gives it back.
        if (dlg_->m_pDI != nullptr) dlg_->m_pDI->Release();
    }
    ui_.reset();
    dlg_.reset();
    plat::InstallHid(nullptr);
    desktop_.SetResponder(nullptr);
    fs::current_path(previousDir_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

Strings WizardTest::Visible() const {
    static const std::pair<int, const char*> kNames[] = {
        {IDC_STEP_PLUG, "PLUG"}, {IDC_STEP_UP, "UP"},     {IDC_STEP_RIGHT, "RIGHT"},
        {IDC_STEP_DOWN, "DOWN"}, {IDC_STEP_LEFT, "LEFT"}, {IDC_STEP_UNPLUG, "UNPLUG"},
        {IDC_PIC_1, "PIC_1"},    {IDC_PIC_2, "PIC_2"},    {IDC_PIC_3, "PIC_3"},
        {IDC_PIC_4, "PIC_4"},    {IDC_PIC_5, "PIC_5"},    {IDC_READ_EEPROM, "READ_EEPROM"}};
    Strings names;
    for (const auto& [id, name] : kNames) {
        if (ui_->Control(id).visible) names.push_back(name);
    }
    return names;
}

Strings WizardTest::Boxes() const {
    Strings lines;
    for (const auto& box : desktop_.MessageBoxes()) {
        lines.push_back(std::to_string(box.call.type) + " " + box.call.caption + ": " +
                        box.call.text);
    }
    return lines;
}
