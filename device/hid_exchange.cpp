#include "device/hid_exchange.h"

#include <cstdio>
#include <cstring>

namespace hidlink {

bool TransferReport(plat::HidDriver& hid, plat::Handle device, Direction direction,
                    std::uint8_t* buffer, std::uint32_t length, plat::IoRecord& io,
                    plat::Handle event, std::uint32_t limitMs, std::uint32_t* count,
                    bool* started) {
    *count = 0;
    io.Reset();
    io.hEvent = event;
    const plat::IoStart start = direction == Direction::kWrite
                                    ? hid.Write(device, buffer, length, &io)
                                    : hid.Read(device, buffer, length, &io);
    if (started != nullptr) *started = start != plat::IoStart::kFailed;
    if (start == plat::IoStart::kFailed) return false;
    if (start == plat::IoStart::kPending &&
        plat::WaitForSingleObject(event, limitMs) != plat::kWaitObject0) {
        // Still the driver's: take it back before anyone reuses the buffer
        // or the record. It counts as failed even if it just completed.
        hid.Cancel(device, &io);
        return false;
    }
    std::uint32_t n = 0;
    if (!hid.GetResult(device, &io, &n)) return false;
    *count = n;
    return true;
}

void BuildEepromRequest(std::uint8_t* request, std::uint32_t length, std::uint8_t command,
                        std::uint8_t address, std::uint8_t third, const std::uint8_t* data,
                        std::size_t count) {
    std::memset(request, 0, length);
    request[0] = kReportIdCommand;
    request[1] = command;
    request[2] = address;
    request[3] = third;
    if (count > 0) std::memcpy(request + 4, data, count);
}

std::string BlockHexLines(const CalibrationBlock& block) {
    std::string text;
    for (std::size_t i = 0; i < block.size(); ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%.2X ", static_cast<unsigned>(block[i]));
        text += hex;
        if (i == 7 || i == 15) text += '\n';
    }
    return text;
}

std::uint32_t ElapsedSince(std::uint32_t start) {
    // Unsigned difference: right across the clock's wrap every 49.7 days.
    return plat::TimeGetTime() - start;
}

}  // namespace hidlink
