#include "app/virtual_stick_setup.h"

namespace app {

sim::StickSettings VirtualStickSettings(const app::Options& options) {
    sim::StickSettings settings;
    settings.inputReportLength = options.simInputLength;
    settings.outputReportLength = options.simOutputLength;
    if (options.simReplyLatencyMs) settings.replyLatencyMs = *options.simReplyLatencyMs;
    settings.serial = kVirtualStickSerial;
    settings.path = kVirtualStickNode;
    return settings;
}

sim::StickFaults VirtualStickFaults(const app::Options& options) {
    sim::StickFaults faults;
    faults.ignoreWrites = options.simIgnoreWrites;
    faults.flipBitAddress = options.simFlipBitAddress;
    return faults;
}

std::vector<service::FoundController> FoundVirtualSticks(
    const std::vector<sim::VirtualStick*>& sticks) {
    std::vector<service::FoundController> found;
    for (const sim::VirtualStick* stick : sticks) {
        if (!stick->Plugged()) continue;
        const sim::StickSettings s = stick->Settings();
        service::FoundController c;
        // Paths are ASCII; discovery narrows them the same way.
        for (char16_t unit : s.path) c.node += static_cast<char>(unit & 0xFF);
        c.vidPid = s.vidPid;
        c.name = "Kx9 virtual stick";
        c.serial = s.serial;
        c.inputReportLength = s.inputReportLength;
        c.outputReportLength = s.outputReportLength;
        found.push_back(std::move(c));
    }
    return found;
}

}  // namespace app
