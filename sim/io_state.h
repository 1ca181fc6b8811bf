// The sim's completion state of one operation, kept inside the caller's
// IoRecord the way a driver keeps its status in an OVERLAPPED. Read and
// written only under the driver's lock; a zeroed record reads as "none".
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/hid.h"

namespace sim {

enum class IoStatus : std::uint32_t { kNone = 0, kPending = 1, kDone = 2, kFailed = 3 };

struct IoState {
    IoStatus status = IoStatus::kNone;
    std::uint32_t transferred = 0;
};
static_assert(sizeof(IoState) <= sizeof(plat::IoRecord::opaque));

inline IoState GetIoState(const plat::IoRecord* io) {
    IoState state;
    std::memcpy(&state, io->opaque, sizeof state);
    return state;
}

inline void SetIoState(plat::IoRecord* io, IoStatus status, std::uint32_t transferred) {
    const IoState state{status, transferred};
    std::memcpy(io->opaque, &state, sizeof state);
}

}  // namespace sim
