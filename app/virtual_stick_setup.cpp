#include "app/virtual_stick_setup.h"

#include <filesystem>
#include <fstream>
#include <system_error>

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
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(contents.data()),
                  static_cast<std::streamsize>(contents.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    return !ec;
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

void SimStick::Sync() {
    if (m_file.empty()) return;
    const sim::Eeprom now = m_stick.EepromContents();
    if (now == m_saved) return;
    if (WriteEepromFile(m_file, now)) m_saved = now;
}

}  // namespace app
