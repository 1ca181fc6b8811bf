// The arithmetic that turns the captured centre and extremes into the values
// the stick stores: kept free of the dialog so it can be checked on its own.
#pragma once

#include <cstdint>

// Centre position as the stick stores it: half the raw centre sample.
std::uint16_t CentrePosition(std::uint16_t centre);

// Gain for one direction of one axis: 2^22 / (|extreme - centre| - 96) + 1,
// of which the stick keeps the low 8 bits. A distance of 96 or less cannot
// come through the step gates; should it ever arrive, nothing is divided
// and the largest gain the byte can hold is stored instead.
std::uint8_t DirectionGain(std::uint16_t extreme, std::uint16_t centre);
