// The game controllers a service command can see, however they are attached
// (hidraw or the virtual stick), which of them --device names, and the list
// command's two outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace service {

struct FoundController {
    std::string node;          // the path discovery hands to the driver
    std::uint32_t vidPid = 0;  // product << 16 | vendor
    std::string name;          // may be empty
    std::string serial;        // may be empty
    std::string port;          // where it is plugged in; may be empty
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
};

bool IsKx9Stick(const FoundController& controller);

// The index of the stick that `device` names, by its node or its serial
// number, or of the first stick when `device` is empty; -1 with a message
// that names what was found when there is none.
int ChooseStick(const std::vector<FoundController>& found, const std::string& device,
                std::string* error);

// One line per controller, "*" marking `chosen`; outside text cleaned.
std::string ListText(const std::vector<FoundController>& found, int chosen);
// {"controllers": [{"node", "vendor_id", "product_id", "name", "serial",
// "port", "input_report_length", "output_report_length", "kx9",
// "selected"}]}; ids as four lower-case hex digits, absent strings as "";
// outside text cleaned as in the text list.
std::string ListJson(const std::vector<FoundController>& found, int chosen);

}  // namespace service
