// A virtual stick's EEPROM kept in a file: the image itself, byte i holding
// address i, so that a saved stick can be looked at with any hex viewer and
// reloaded as it was. kx9calib's --sim-eeprom and the virtual-stick build of
// the Windows program both keep their stick this way.
#pragma once

#include <optional>
#include <string>

#include "sim/virtual_stick.h"

namespace app {

class EepromFile {
  public:
    // An empty path keeps the EEPROM in memory only.
    explicit EepromFile(std::string path) : m_path(std::move(path)) {}

    // Gives the stick its EEPROM: the file's image when the file is there,
    // otherwise an erased one (0xFF bytes), written to the file at once.
    // From then on the file is read again whenever the stick is opened
    // (another program may have written it meanwhile; a file gone or no
    // longer an image fails the open) and saved after every write request,
    // a request whose save fails failing: what the stick says it holds is
    // what the file holds. False, with the reason, when the file is there
    // but is no image (it is left as it is) or cannot be made.
    bool Keep(sim::VirtualStick& stick, std::string* error) const;

    // Exactly 256 bytes, or nothing.
    std::optional<sim::Eeprom> Load() const;
    // Through a temporary file flushed to disk, never in place: the file
    // holds the old image or the new one whatever stops the program.
    bool Save(const sim::Eeprom& contents) const;

  private:
    std::string m_path;
};

}  // namespace app
