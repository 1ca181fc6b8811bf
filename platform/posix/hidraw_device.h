// One open hidraw node (or a SOCK_SEQPACKET socket standing in for one) with
// Windows' overlapped semantics: a read takes a report already waiting at
// once, or is queued and completed later by a small I/O thread that waits
// in poll() on the node and a wake eventfd; a write is queued the same way,
// so a slow device never blocks the caller.
#pragma once

#include <bitset>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/hid.h"

namespace plat::hidraw {

struct DeviceLayout {
    // Reports arrive with their id byte in front; otherwise a 0 id byte is
    // put in front so the report bytes keep their Windows offsets.
    bool numbered = true;
    // InputReportByteLength; 0 when unknown. Shorter reports are padded to
    // it, as Windows hands every input report over at this length.
    std::uint16_t inputLength = 0;
    // The input report ids that belong to the device as Windows presents it
    // (one top-level collection); reports with other ids are dropped. All,
    // when the descriptor is unknown.
    std::bitset<256> inputIds = std::bitset<256>().set();
};

class Device {
  public:
    // Takes ownership of fd (non-blocking). Null if the I/O thread or its
    // wake descriptor cannot be had; fd is closed then.
    static std::shared_ptr<Device> Start(int fd, bool isSocket, const DeviceLayout& layout);

    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    IoStart Read(void* buffer, std::uint32_t length, IoRecord* io);
    IoStart Write(const void* buffer, std::uint32_t length, IoRecord* io);
    bool GetResult(IoRecord* io, std::uint32_t* transferred);
    void Cancel(IoRecord* io);
    // Fails everything pending, waits for a write already inside the
    // kernel, ends the I/O thread and closes the descriptors. Idempotent.
    void Shutdown();

    int fd() const { return fd_; }
    bool isSocket() const { return isSocket_; }

  private:
    Device(int fd, int wakeFd, bool isSocket, const DeviceLayout& layout);

    struct Op {
        IoRecord* io;
        Handle event;
        std::uint8_t* in;         // reads
        const std::uint8_t* out;  // writes
        std::uint32_t length;
    };

    enum class Taken { kDelivered, kNone, kVanished };

    void Run();
    void Wake();
    // Caller holds mutex_.
    void Complete(const Op& op, bool ok, std::uint32_t transferred);
    void DeliverReport(const Op& op);
    Taken TakeWaiting(const Op& op);
    void MarkVanished();
    bool IsQueued(const IoRecord* io) const;
    void WriteFront(std::unique_lock<std::mutex>& lock);

    const int fd_;
    const int wakeFd_;
    const bool isSocket_;
    const DeviceLayout layout_;

    std::mutex mutex_;
    std::condition_variable changed_;
    // Oldest first; reserved at the start, so that a read or a write per
    // report never allocates.
    std::vector<Op> reads_;
    std::vector<Op> writes_;
    bool writeInKernel_ = false;  // writes_.front() is inside write()
    bool writeBlocked_ = false;   // the last write said EAGAIN: wait for POLLOUT
    bool vanished_ = false;
    bool closing_ = false;

    // The report being handed over, read from the node under the mutex.
    std::vector<std::uint8_t> report_;
    std::size_t reportLength_ = 0;

    std::thread thread_;
};

}  // namespace plat::hidraw
