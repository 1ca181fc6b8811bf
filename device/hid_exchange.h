// Small pieces shared by the link and the EEPROM transfers: the wire
// constants, one bounded overlapped report transfer, the requests both
// transfers send, and the hex dump of a calibration block that both
// diagnostic boxes end with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "calib/calibration_record.h"
#include "platform/hid.h"

inline constexpr std::uint8_t kReportIdCommand = 1;
inline constexpr std::uint8_t kReportIdEepromData = 2;
inline constexpr std::uint8_t kCmdEepromWrite = 3;
inline constexpr std::uint8_t kCmdEepromRead = 4;

namespace hidlink {

// Bytes 8..9 and 10..11 of an input report.
inline constexpr std::uint32_t kAxisReportMinLength = 12;

// A request needs its four header bytes and at least one data byte, and its
// data count must fit the one count byte; the 9 replies of a read must carry
// the 18 bytes between them, two data bytes each after the four of the
// header. Outside these nothing is sent: it could never succeed.
inline constexpr std::uint32_t kMinOutputReportLength = 5;
inline constexpr std::uint32_t kMaxOutputReportLength = 259;
inline constexpr std::uint32_t kMinInputReportLength = 6;

inline bool ReportLengthsFit(std::uint32_t inLength, std::uint32_t outLength) {
    return outLength >= kMinOutputReportLength && outLength <= kMaxOutputReportLength &&
           inLength >= kMinInputReportLength;
}

enum class Direction { kRead, kWrite };

// One overlapped read or write of a whole report through `io`, bound to the
// manual-reset `event`. Waits at most `limitMs` for a pending transfer. True
// with the byte count when the transfer completed successfully. A transfer
// still pending at the limit is cancelled, and has completed, before this
// returns: the buffer, the event and the record are free again either way.
// `started`, when given, tells whether the driver took the transfer at all:
// a write it took may have reached the stick even when it counts as failed.
bool TransferReport(plat::HidDriver& hid, plat::Handle device, Direction direction,
                    std::uint8_t* buffer, std::uint32_t length, plat::IoRecord& io,
                    plat::Handle event, std::uint32_t limitMs, std::uint32_t* count,
                    bool* started = nullptr);

// An EEPROM request in the `length` bytes of `request`: the command report's
// id, `command`, the first address, `third` (a write's data count, a read's
// fixed byte), then `count` bytes of `data`; zero after them. `count` is at
// most length - 4.
void BuildEepromRequest(std::uint8_t* request, std::uint32_t length, std::uint8_t command,
                        std::uint8_t address, std::uint8_t third,
                        const std::uint8_t* data = nullptr, std::size_t count = 0);

// The pause between tries of a transfer that failed at once (a pulled
// stick, one that refuses output reports): the retry windows keep their
// length without spinning through them.
inline constexpr std::uint32_t kRetryPauseMs = 5;

// The 18 bytes as "%.2X " each, with a line break after bytes 7 and 15.
std::string BlockHexLines(const CalibrationBlock& block);

// Milliseconds from `start` to now on the wrapping 32-bit clock.
std::uint32_t ElapsedSince(std::uint32_t start);

}  // namespace hidlink
