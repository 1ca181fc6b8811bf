#include "platform/posix/hidraw_device.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace plat::hidraw {
namespace {

// The largest report the kernel hands out through hidraw, plus the id byte
// we may put in front.
constexpr std::size_t kReportCapacity = 16384 + 1;
// Operations queued without allocating: the reader and a transfer have one
// each at most.
constexpr std::size_t kReservedOps = 4;

// What the driver keeps in an IoRecord's opaque bytes. Only touched under
// the device mutex; the caller's Reset() happens after it has seen the
// completion, so the zeroed record reads as "no operation".
struct RecordState {
    std::uint32_t tag;
    std::uint32_t status;
    std::uint32_t transferred;
};
static_assert(sizeof(RecordState) <= sizeof(IoRecord::opaque));

constexpr std::uint32_t kRecordTag = 0x48524157;  // "HRAW"
enum Status : std::uint32_t { kNone = 0, kPendingStatus = 1, kDone = 2, kFailedStatus = 3 };

void Store(IoRecord* io, std::uint32_t status, std::uint32_t transferred) {
    const RecordState state{kRecordTag, status, transferred};
    std::memcpy(io->opaque, &state, sizeof state);
}

RecordState Load(const IoRecord* io) {
    RecordState state;
    std::memcpy(&state, io->opaque, sizeof state);
    return state;
}

}  // namespace

std::shared_ptr<Device> Device::Start(int fd, bool isSocket, const DeviceLayout& layout) {
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        ::close(fd);
        return nullptr;
    }
    std::shared_ptr<Device> device(new Device(fd, wakeFd, isSocket, layout));
    try {
        device->thread_ = std::thread([raw = device.get()] { raw->Run(); });
    } catch (const std::system_error&) {
        return nullptr;  // the destructor closes both descriptors
    }
    return device;
}

Device::Device(int fd, int wakeFd, bool isSocket, const DeviceLayout& layout)
    : fd_(fd), wakeFd_(wakeFd), isSocket_(isSocket), layout_(layout), report_(kReportCapacity) {
    reads_.reserve(kReservedOps);
    writes_.reserve(kReservedOps);
}

Device::~Device() {
    Shutdown();
}

bool Device::IsQueued(const IoRecord* io) const {
    auto same = [io](const Op& op) { return op.io == io; };
    return std::any_of(reads_.begin(), reads_.end(), same) ||
           std::any_of(writes_.begin(), writes_.end(), same);
}

void Device::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing to do on failure.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void Device::Complete(const Op& op, bool ok, std::uint32_t transferred) {
    Store(op.io, ok ? kDone : kFailedStatus, ok ? transferred : 0);
    // Signalled under the mutex: once Cancel() or Shutdown() has returned,
    // the caller may close the event, so nothing may touch it afterwards.
    if (op.event != nullptr) SetEvent(op.event);
    changed_.notify_all();
}

void Device::DeliverReport(const Op& op) {
    const std::size_t padded = std::max<std::size_t>(reportLength_, layout_.inputLength);
    const std::size_t length = std::min<std::size_t>(op.length, padded);
    const std::size_t copied = std::min(length, reportLength_);
    std::memcpy(op.in, report_.data(), copied);
    std::memset(op.in + copied, 0, length - copied);
    Complete(op, true, static_cast<std::uint32_t>(length));
}

// A report already in the kernel's queue is handed over here and now, by
// whoever asks (a new read, or the I/O thread for the oldest waiting one):
// the reports that are there when a read starts are there at once, as on
// Windows, and the descriptor is only ever read under the mutex, so the
// reports keep their order.
Device::Taken Device::TakeWaiting(const Op& op) {
    const std::size_t offset = layout_.numbered ? 0 : 1;
    for (;;) {
        const ssize_t got = ::read(fd_, report_.data() + offset, report_.size() - offset);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return Taken::kNone;
        }
        // End of stream, or hidraw's EIO/ENODEV after an unplug.
        if (got <= 0) return Taken::kVanished;
        report_[0] = layout_.numbered ? report_[0] : 0;
        reportLength_ = static_cast<std::size_t>(got) + offset;
        // Another collection's report: the read waits on for one of ours.
        if (!layout_.inputIds.test(report_[0])) continue;
        DeliverReport(op);
        return Taken::kDelivered;
    }
}

void Device::MarkVanished() {
    vanished_ = true;
    while (!reads_.empty()) {
        const Op op = reads_.front();
        reads_.erase(reads_.begin());
        Complete(op, false, 0);
    }
    // A write inside the kernel completes on its own.
    const std::size_t keep = writeInKernel_ ? 1 : 0;
    while (writes_.size() > keep) {
        const Op op = writes_.back();
        writes_.pop_back();
        Complete(op, false, 0);
    }
    changed_.notify_all();
}

IoStart Device::Read(void* buffer, std::uint32_t length, IoRecord* io) {
    if (io == nullptr || buffer == nullptr || length == 0) return IoStart::kFailed;
    // Windows refuses a buffer shorter than the input report.
    if (length < layout_.inputLength) return IoStart::kFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsQueued(io)) return IoStart::kFailed;  // one operation per record
    if (closing_ || vanished_) {
        Store(io, kFailedStatus, 0);
        return IoStart::kFailed;
    }
    // Like ReadFile, starting an operation resets its event.
    if (io->hEvent != nullptr) ResetEvent(io->hEvent);
    Store(io, kPendingStatus, 0);
    const Op op{io, io->hEvent, static_cast<std::uint8_t*>(buffer), nullptr, length};
    // Always "pending", even when a report is already here: the caller
    // waits on the event, which is then simply signalled already. Reads
    // queued before this one get the reports first.
    switch (reads_.empty() ? TakeWaiting(op) : Taken::kNone) {
        case Taken::kDelivered:
            break;
        case Taken::kVanished:
            MarkVanished();
            Complete(op, false, 0);
            break;
        case Taken::kNone:
            reads_.push_back(op);
            Wake();
            break;
    }
    return IoStart::kPending;
}

IoStart Device::Write(const void* buffer, std::uint32_t length, IoRecord* io) {
    if (io == nullptr || buffer == nullptr || length == 0) return IoStart::kFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsQueued(io)) return IoStart::kFailed;
    if (closing_ || vanished_) {
        Store(io, kFailedStatus, 0);
        return IoStart::kFailed;
    }
    if (io->hEvent != nullptr) ResetEvent(io->hEvent);
    Store(io, kPendingStatus, 0);
    writes_.push_back(
        Op{io, io->hEvent, nullptr, static_cast<const std::uint8_t*>(buffer), length});
    Wake();
    return IoStart::kPending;
}

bool Device::GetResult(IoRecord* io, std::uint32_t* transferred) {
    if (io == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const RecordState state = Load(io);
    if (state.tag != kRecordTag || state.status != kDone) return false;
    if (transferred != nullptr) *transferred = state.transferred;
    return true;
}

void Device::Cancel(IoRecord* io) {
    if (io == nullptr) return;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        auto same = [io](const Op& op) { return op.io == io; };
        if (auto it = std::find_if(reads_.begin(), reads_.end(), same); it != reads_.end()) {
            const Op op = *it;
            reads_.erase(it);
            Complete(op, false, 0);
            return;
        }
        auto it = std::find_if(writes_.begin(), writes_.end(), same);
        if (it == writes_.end()) return;  // already complete
        if (it == writes_.begin() && writeInKernel_) {
            // A write inside the kernel cannot be taken back: wait for it,
            // so its buffer is free when we return.
            changed_.wait(lock);
            continue;
        }
        const Op op = *it;
        writes_.erase(it);
        Complete(op, false, 0);
        return;
    }
}

void Device::Shutdown() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (closing_) return;
        closing_ = true;
        MarkVanished();
        Wake();
        changed_.wait(lock, [this] { return !writeInKernel_; });
        while (!writes_.empty()) {
            const Op op = writes_.front();
            writes_.erase(writes_.begin());
            Complete(op, false, 0);
        }
    }
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
    ::close(wakeFd_);
}

void Device::WriteFront(std::unique_lock<std::mutex>& lock) {
    const Op op = writes_.front();
    writeInKernel_ = true;
    lock.unlock();
    // hidraw takes the id byte in front, 0 for devices without ids, and
    // strips a 0 itself: the report goes out exactly as the caller built it.
    // A socket stand-in must not raise SIGPIPE when its peer is gone.
    const ssize_t n = isSocket_ ? ::send(fd_, op.out, op.length, MSG_NOSIGNAL | MSG_DONTWAIT)
                                : ::write(fd_, op.out, op.length);
    const int error = n < 0 ? errno : 0;
    lock.lock();
    writeInKernel_ = false;
    if (error == EAGAIN || error == EWOULDBLOCK) {
        writeBlocked_ = true;
        changed_.notify_all();
        return;
    }
    if (error == EINTR) {
        changed_.notify_all();
        return;
    }
    writes_.erase(writes_.begin());
    Complete(op, n == static_cast<ssize_t>(op.length), op.length);
    if (error == ENODEV || error == EPIPE || error == ECONNRESET || error == ENOTCONN) {
        MarkVanished();
    }
}

void Device::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closing_) {
        if (!writes_.empty() && !writeBlocked_ && !vanished_) {
            WriteFront(lock);
            continue;
        }
        // Only read while someone waits for a report: otherwise reports stay
        // queued in the kernel for whoever reads next, as on Windows.
        const bool wantRead = !reads_.empty() && !vanished_;
        short events = 0;
        if (wantRead) events |= POLLIN;
        if (!writes_.empty() && writeBlocked_ && !vanished_) events |= POLLOUT;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {vanished_ ? -1 : fd_, events, 0}};
        lock.unlock();

        const int ready = ::poll(fds, 2, -1);
        const int pollError = ready < 0 ? errno : 0;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }

        lock.lock();
        if (closing_) break;
        if (ready < 0) {
            // poll() itself failing is not transient: give up on the device
            // rather than spin.
            if (pollError != EINTR) MarkVanished();
            continue;
        }
        if (fds[1].revents & POLLOUT) writeBlocked_ = false;
        if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
            // The read it was for may have been cancelled, or a new read
            // may have taken the report itself, meanwhile.
            if (!reads_.empty() && !vanished_) {
                const Op op = reads_.front();
                const Taken taken = TakeWaiting(op);
                if (taken == Taken::kDelivered) reads_.erase(reads_.begin());
                if (taken == Taken::kVanished) MarkVanished();
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkVanished();
        }
    }
}

}  // namespace plat::hidraw
