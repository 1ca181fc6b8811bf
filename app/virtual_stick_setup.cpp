#include "app/virtual_stick_setup.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "calib/replace_file.h"

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

bool WriteEepromFile(const std::string& file, const sim::Eeprom& contents) {
    return ReplaceFileDurably(
        file.c_str(),
        std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

bool PrepareEeprom(sim::VirtualStick& stick, const std::string& file, std::string* error) {
    sim::Eeprom blank;
    blank.fill(0xFF);
    stick.SetEeprom(blank);
    if (file.empty()) return true;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        if (!stick.LoadEeprom(file)) {
            *error = file + " is not a 256-byte EEPROM image (left as it is)";
            return false;
        }
        return true;
    }
    if (!WriteEepromFile(file, blank)) {
        *error = "cannot create " + file;
        return false;
    }
    return true;
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

SimStick::SimStick(sim::VirtualStick& stick, const std::string& eepromFile) : m_stick(stick) {
    if (eepromFile.empty()) return;
    m_stick.SetEepromStore([eepromFile](const sim::Eeprom& contents) {
        return WriteEepromFile(eepromFile, contents);
    });
}

}  // namespace app
