#include "ui/calibration_math.h"

std::uint16_t CentrePosition(std::uint16_t centre) {
    return static_cast<std::uint16_t>(centre >> 1);
}

std::uint8_t DirectionGain(std::uint16_t extreme, std::uint16_t centre) {
    const std::int32_t difference = std::int32_t{extreme} - std::int32_t{centre};
    const std::int32_t distance = difference < 0 ? -difference : difference;
    const std::int32_t divisor = distance - 0x60;
    if (divisor <= 0) return 0xFF;
    const std::int32_t quotient = 4194304 / divisor;
    return static_cast<std::uint8_t>((quotient + 1) & 0xFF);
}
