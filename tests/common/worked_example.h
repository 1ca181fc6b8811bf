// The worked example every end-to-end test walks: the stick centred at
// 8000/7F80, pushed up to 0080, right to FF00 (after a failed press at
// BF00), down to FFFF and left to 0000, with the eight fixed values all zero.
#pragma once

#include <cstdint>
#include <vector>

// The "Debug" box shown before the block is written.
inline constexpr const char* kWorkedExampleDataText =
    "DATA\n"
    "Center X:8000, Y:7F80\n"
    "Min X=0000, Max X = FF00\n"
    "Min Y=0080 Max Y=FFFF\n"
    "\n"
    "InitPosX = 4000, InitPosY = 3FC0\n"
    "EdgeSize=0000\n"
    "EdgeReduc=00, EdgeShift=00, EdgeBM=00\n"
    "MultInit XN=81,XP=82,YN=82,YP=80\n"
    "CenterArea=0000\n"
    "Center Reduc=00,Shift=00,BM=00\n"
    "\n"
    "00 40 C0 3F 00 00 00 00 \n"
    "00 81 82 82 80 00 00 00 \n"
    "00 00 ";

// EEPROM 110..127 afterwards.
inline const std::vector<std::uint8_t> kWorkedExampleBlock = {
    0x00, 0x40, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0x81, 0x82, 0x82, 0x80, 0, 0, 0, 0, 0};
