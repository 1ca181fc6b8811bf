#include "sim/stick_firmware.h"

#include <algorithm>

namespace sim {

FirmwareRequest DecodeRequest(const std::uint8_t* report, std::size_t length) {
    FirmwareRequest request;
    if (length < 3 || report[0] != kReportIdCommand) return request;
    request.address = report[2];
    if (report[1] == kCmdEepromRead) {
        request.kind = FirmwareRequest::Kind::kRead;
    } else if (report[1] == kCmdEepromWrite && length > 3) {
        request.kind = FirmwareRequest::Kind::kWrite;
        request.data = report + 4;
        request.count = std::min<std::size_t>(report[3], length - 4);
    }
    return request;
}

void StoreWrite(Eeprom& eeprom, const FirmwareRequest& write, int flipBitAddress) {
    for (std::size_t i = 0; i < write.count; ++i) {
        const std::size_t address = (write.address + i) & 0xFF;
        std::uint8_t value = write.data[i];
        if (flipBitAddress >= 0 && address == static_cast<std::size_t>(flipBitAddress)) value ^= 1;
        eeprom[address] = value;
    }
}

void BuildReadReply(std::vector<std::uint8_t>& r, std::size_t length, const Eeprom& eeprom,
                    std::uint8_t address) {
    r.assign(length, 0);
    const std::size_t data = length > 4 ? length - 4 : 0;
    const std::uint8_t header[] = {kReportIdEepromData, kCmdEepromRead, address,
                                   static_cast<std::uint8_t>(std::min<std::size_t>(data, 255))};
    std::copy_n(header, std::min<std::size_t>(4, length), r.begin());
    for (std::size_t i = 0; i < data; ++i) r[4 + i] = eeprom[(address + i) & 0xFF];
}

void BuildAxisReport(std::vector<std::uint8_t>& r, std::size_t length, std::uint8_t id,
                     std::uint16_t x, std::uint16_t y) {
    r.assign(length, 0);
    const std::uint8_t fields[] = {
        id, static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>(x >> 8),
        static_cast<std::uint8_t>(y & 0xFF), static_cast<std::uint8_t>(y >> 8)};
    const std::size_t at[] = {0, 8, 9, 10, 11};
    for (std::size_t i = 0; i < 5; ++i) {
        if (at[i] < r.size()) r[at[i]] = fields[i];
    }
}

}  // namespace sim
