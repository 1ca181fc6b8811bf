// Shows every field when two records differ in an assertion.
#pragma once

#include <ostream>

#include "calib/calibration_record.h"

inline void PrintTo(const CalibrationRecord& r, std::ostream* os) {
    *os << std::hex << "{X=" << r.Initial_Pos_X << " Y=" << r.Initial_Pos_Y
        << " ESize=" << r.Edge_Size << " EReduc=" << +r.Edge_Reduc << " EShift=" << +r.Edge_Shift
        << " EBM=" << +r.Edge_BM << " XN=" << +r.MultInit_XN << " XP=" << +r.MultInit_XP
        << " YN=" << +r.MultInit_YN << " YP=" << +r.MultInit_YP << " CArea=" << r.Center_Area
        << " CReduc=" << +r.Center_Reduc << " CShift=" << +r.Center_Shift << " CBM=" << +r.Center_BM
        << "}" << std::dec;
}

template <class Random>
CalibrationRecord RandomRecord(Random& random) {
    auto w = [&] { return static_cast<std::uint16_t>(random()); };
    auto b = [&] { return static_cast<std::uint8_t>(random()); };
    return {w(), w(), w(), b(), b(), b(), b(), b(), b(), b(), w(), b(), b(), b()};
}
