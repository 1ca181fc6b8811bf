#include "app/eeprom_file.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "calib/replace_file.h"

namespace app {

bool EepromFile::Keep(sim::VirtualStick& stick, std::string* error) const {
    sim::Eeprom erased;
    erased.fill(0xFF);
    stick.SetEeprom(erased);
    if (m_path.empty()) return true;
    std::error_code ec;
    if (std::filesystem::exists(m_path, ec)) {
        const std::optional<sim::Eeprom> image = Load();
        if (!image) {
            *error = m_path + " is not a 256-byte EEPROM image (left as it is)";
            return false;
        }
        stick.SetEeprom(*image);
    } else if (!Save(erased)) {
        *error = "cannot create " + m_path;
        return false;
    }
    const EepromFile file = *this;
    stick.SetEepromBacking(
        [file](sim::Eeprom& contents) {
            const std::optional<sim::Eeprom> image = file.Load();
            if (image) contents = *image;
            return image.has_value();
        },
        [file](const sim::Eeprom& contents) { return file.Save(contents); });
    return true;
}

std::optional<sim::Eeprom> EepromFile::Load() const {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) return std::nullopt;
    sim::Eeprom contents{};
    in.read(reinterpret_cast<char*>(contents.data()), contents.size());
    if (static_cast<std::size_t>(in.gcount()) != contents.size()) return std::nullopt;
    // One byte more means the file is not an EEPROM image.
    if (in.peek() != std::ifstream::traits_type::eof()) return std::nullopt;
    return contents;
}

bool EepromFile::Save(const sim::Eeprom& contents) const {
    return ReplaceFileDurably(
        m_path.c_str(),
        std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

}  // namespace app
