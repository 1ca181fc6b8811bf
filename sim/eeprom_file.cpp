#include <fstream>
#include <iterator>

#include "sim/virtual_stick.h"

namespace sim {

// The file is the EEPROM image itself, byte i holding address i, so a saved
// stick can be inspected with any hex viewer and reloaded as it was.
bool VirtualStick::LoadEeprom(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    Eeprom contents{};
    in.read(reinterpret_cast<char*>(contents.data()), contents.size());
    if (static_cast<std::size_t>(in.gcount()) != contents.size()) return false;
    // One byte more means the file is not an EEPROM image.
    if (in.peek() != std::ifstream::traits_type::eof()) return false;
    SetEeprom(contents);
    return true;
}

bool VirtualStick::SaveEeprom(const std::string& path) const {
    const Eeprom contents = EepromContents();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(contents.data()), contents.size());
    out.close();
    return !out.fail();
}

}  // namespace sim
