#include "service/found_sticks.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "term/clean_text.h"
#include "ui/kx9_joystick_calibration_dlg.h"

namespace service {
namespace {

std::string Hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
    return buf;
}

std::string Identity(std::uint32_t vidPid) {
    return Hex4(vidPid & 0xFFFF) + ":" + Hex4(vidPid >> 16);
}

std::string Describe(const FoundController& c) {
    std::string text = term::CleanText(c.node);
    if (!c.serial.empty()) text += " (serial " + term::CleanText(c.serial) + ")";
    return text;
}

}  // namespace

bool IsKx9Stick(const FoundController& controller) {
    return controller.vidPid == DeviceIdentity;
}

int ChooseStick(const std::vector<FoundController>& found, const std::string& device,
                std::string* error) {
    std::string sticks;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const FoundController& c = found[i];
        if (!IsKx9Stick(c)) continue;
        if (device.empty() || c.node == device || (!c.serial.empty() && c.serial == device)) {
            return static_cast<int>(i);
        }
        sticks += (sticks.empty() ? "" : ", ") + Describe(c);
    }
    if (device.empty()) {
        *error = "no stick found (" + Identity(DeviceIdentity) + ")";
    } else if (sticks.empty()) {
        *error = "no stick " + term::CleanText(device) + ": no stick found at all";
    } else {
        *error = "no stick " + term::CleanText(device) + "; found: " + sticks;
    }
    return -1;
}

std::string ListText(const std::vector<FoundController>& found, int chosen) {
    std::string text;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const FoundController& c = found[i];
        text += static_cast<int>(i) == chosen ? "* " : "  ";
        text += Identity(c.vidPid) + "  " + term::CleanText(c.node);
        text += "  serial " + (c.serial.empty() ? std::string("-") : term::CleanText(c.serial));
        text += "  port " + (c.port.empty() ? std::string("-") : term::CleanText(c.port));
        text += "  input " + std::to_string(c.inputReportLength) + " bytes, output " +
                std::to_string(c.outputReportLength) + " bytes";
        if (!c.name.empty()) text += "  " + term::CleanText(c.name);
        text += "\n";
    }
    return text;
}

std::string ListJson(const std::vector<FoundController>& found, int chosen) {
    nlohmann::ordered_json controllers = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < found.size(); ++i) {
        const FoundController& c = found[i];
        controllers.push_back({
            // Cleaned before the library sees them: its escapes would give
            // a script that decodes them the controls back.
            {"node", term::CleanText(c.node)},
            {"vendor_id", Hex4(c.vidPid & 0xFFFF)},
            {"product_id", Hex4(c.vidPid >> 16)},
            {"name", term::CleanText(c.name)},
            {"serial", term::CleanText(c.serial)},
            {"port", term::CleanText(c.port)},
            {"input_report_length", c.inputReportLength},
            {"output_report_length", c.outputReportLength},
            {"kx9", IsKx9Stick(c)},
            {"selected", static_cast<int>(i) == chosen},
        });
    }
    const nlohmann::ordered_json document = {{"controllers", controllers}};
    // Every string is clean UTF-8 by now; replacing rather than throwing
    // keeps the output whole should that ever not hold.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace service
