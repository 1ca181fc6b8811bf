// The stick's firmware as the wire sees it: what its reports carry and what
// it does with each request, whatever carries the bytes (the virtual driver,
// or a socket standing in for a hidraw node) and whenever they go. Timing
// and misbehaviour are the carrier's.
//
//   input report (axes): byte 0 id, bytes 8..9 X and 10..11 Y little-endian
//   output report 1, command 4: read; byte 2 address, byte 3 0x80. Answered
//     by input report 2: byte 1 the command, byte 2 the address, byte 3 the
//     number of data bytes, data from byte 4 (as many as the report holds)
//   output report 1, command 3: write; byte 2 address, byte 3 count, data
//     from byte 4
// EEPROM addresses are an 8-bit counter: a transfer that runs past 255
// continues at 0, so nothing ever lands outside the 256 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

inline constexpr std::uint8_t kReportIdCommand = 1;
inline constexpr std::uint8_t kReportIdEepromData = 2;
inline constexpr std::uint8_t kCmdEepromWrite = 3;
inline constexpr std::uint8_t kCmdEepromRead = 4;
inline constexpr std::size_t kEepromSize = 256;

using Eeprom = std::array<std::uint8_t, kEepromSize>;

// Both axes of a stick at rest.
inline constexpr std::uint16_t kCentre = 0x8000;

// What an output report asks of the firmware; anything else it passes over.
struct FirmwareRequest {
    enum class Kind { kNone, kRead, kWrite };
    Kind kind = Kind::kNone;
    std::uint8_t address = 0;
    // A write's data: its count byte's worth, or as many as the report
    // carries when it is shorter.
    const std::uint8_t* data = nullptr;
    std::size_t count = 0;
};

FirmwareRequest DecodeRequest(const std::uint8_t* report, std::size_t length);

// Stores a write from its address on. `flipBitAddress` (when >= 0) is a
// stick that stores wrong: the byte for that address lands with its lowest
// bit flipped.
void StoreWrite(Eeprom& eeprom, const FirmwareRequest& write, int flipBitAddress = -1);

// Built in `r`, so that a carrier sending one report after the other reuses
// the same bytes instead of allocating each.
void BuildReadReply(std::vector<std::uint8_t>& r, std::size_t length, const Eeprom& eeprom,
                    std::uint8_t address);
void BuildAxisReport(std::vector<std::uint8_t>& r, std::size_t length, std::uint8_t id,
                     std::uint16_t x, std::uint16_t y);

}  // namespace sim
