#include <algorithm>
#include <cstring>

#include "sim/driver_internal.h"
#include "sim/io_state.h"
#include "sim/virtual_stick.h"

namespace sim {

namespace {

constexpr std::uint32_t kMaxReportsPerSecond = 1'000'000;
// A timer thread that fell further behind than this (a loaded machine)
// starts afresh instead of sending the backlog in one burst.
constexpr auto kMaxBacklog = std::chrono::milliseconds(50);
// Reports sent in one go at most when the timer thread woke late. A real
// stick's reports arrive spread out even when their reader is slow; a
// catch-up burst bigger than the reader's buffer would lose reports that
// a stick never would, so a late thread catches up in small steps and
// lets the readers run in between.
constexpr int kMaxBurst = 4;
// Pending reads one handle holds without allocating; the reader and a
// transfer have one each at most.
constexpr std::size_t kReservedReads = 4;
// Device handles are ids shifted by this, never null nor the invalid value.
constexpr unsigned kHandleShift = 4;

bool SameAsciiPath(const std::u16string& wide, const char* narrow) {
    std::size_t i = 0;
    for (; i < wide.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(wide[i] & 0xFF);
        const unsigned char b = static_cast<unsigned char>(narrow[i]);
        if (b == 0) return false;
        auto lower = [](unsigned char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
        };
        if (lower(a) != lower(b)) return false;
    }
    return narrow[i] == 0;
}

void Signal(plat::IoRecord* io) {
    if (io->hEvent != nullptr) plat::SetEvent(io->hEvent);
}

struct ParsedCaps {
    VirtualStick* stick;
    plat::HidCaps caps;
};

}  // namespace

SimHidDriver::SimHidDriver() : thread_([this] { Run(); }) {}

SimHidDriver::~SimHidDriver() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    for (void* p : liveParsed_) delete static_cast<ParsedCaps*>(p);
}

VirtualStick& SimHidDriver::AddStick(const StickSettings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    sticks_.push_back(
        std::unique_ptr<VirtualStick>(new VirtualStick(*this, sticks_.size(), settings)));
    VirtualStick* stick = sticks_.back().get();
    stick->nextReport_ = Clock::now();
    Controller c;
    c.stick = stick;
    controllers_.push_back(c);
    wake_.notify_all();
    return *stick;
}

void SimHidDriver::AddController(const ControllerInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    Controller c;
    c.info = info;
    controllers_.push_back(c);
}

SimHidDriver::OpenFile* SimHidDriver::FindFile(plat::Handle device) const {
    const auto value = reinterpret_cast<std::uintptr_t>(device);
    if (device == nullptr || device == plat::InvalidHandle() ||
        (value & ((1u << kHandleShift) - 1)) != 0) {
        return nullptr;
    }
    auto it = files_.find(static_cast<std::uint64_t>(value >> kHandleShift));
    return it == files_.end() ? nullptr : it->second.get();
}

plat::Handle SimHidDriver::Open(const char* path) {
    if (path == nullptr) return plat::InvalidHandle();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& stick : sticks_) {
        if (!stick->plugged_ || stick->faults_.openFails) continue;
        if (!SameAsciiPath(stick->settings_.path, path)) continue;
        if (stick->load_ && !stick->load_(stick->eeprom_)) return plat::InvalidHandle();
        auto file = std::make_unique<OpenFile>();
        file->id = nextId_++;
        file->stick = stick.get();
        file->reads.reserve(kReservedReads);
        const std::uint64_t id = file->id;
        files_[id] = std::move(file);
        Changed();
        return reinterpret_cast<plat::Handle>(static_cast<std::uintptr_t>(id) << kHandleShift);
    }
    return plat::InvalidHandle();
}

bool SimHidDriver::Close(plat::Handle device) {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = FindFile(device);
    if (file == nullptr) return false;
    FailPending(*file);
    files_.erase(file->id);
    Changed();
    return true;
}

bool SimHidDriver::GetAttributes(plat::Handle device, plat::HidAttributes* attributes) {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = FindFile(device);
    if (file == nullptr || attributes == nullptr || file->dead ||
        file->stick->faults_.attributesFail) {
        return false;
    }
    attributes->Size = sizeof(plat::HidAttributes);
    attributes->VendorID = static_cast<std::uint16_t>(file->stick->settings_.vidPid & 0xFFFF);
    attributes->ProductID = static_cast<std::uint16_t>(file->stick->settings_.vidPid >> 16);
    attributes->VersionNumber = 0x0100;
    return true;
}

bool SimHidDriver::GetPreparsedData(plat::Handle device, plat::PreparsedData* data) {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = FindFile(device);
    if (file == nullptr || data == nullptr || file->dead ||
        file->stick->faults_.preparsedDataFail) {
        return false;
    }
    auto* parsed = new ParsedCaps{file->stick, {}};
    parsed->caps.UsagePage = 0x01;  // generic desktop
    parsed->caps.Usage = 0x04;      // joystick
    parsed->caps.InputReportByteLength = file->stick->settings_.inputReportLength;
    parsed->caps.OutputReportByteLength = file->stick->settings_.outputReportLength;
    liveParsed_.push_back(parsed);
    *data = parsed;
    return true;
}

bool SimHidDriver::GetCaps(plat::PreparsedData data, plat::HidCaps* caps) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(liveParsed_.begin(), liveParsed_.end(), data);
    if (it == liveParsed_.end() || caps == nullptr) return false;
    auto* parsed = static_cast<ParsedCaps*>(data);
    if (parsed->stick->faults_.capsFail) return false;
    *caps = parsed->caps;
    return true;
}

void SimHidDriver::FreePreparsedData(plat::PreparsedData data) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find(liveParsed_.begin(), liveParsed_.end(), data);
    if (it == liveParsed_.end()) return;
    delete static_cast<ParsedCaps*>(*it);
    liveParsed_.erase(it);
}

plat::IoStart SimHidDriver::Read(plat::Handle device, void* buffer, std::uint32_t length,
                                 plat::IoRecord* io) {
    if (io == nullptr || (buffer == nullptr && length > 0)) return plat::IoStart::kFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = FindFile(device);
    if (file == nullptr) return plat::IoStart::kFailed;
    VirtualStick& stick = *file->stick;
    ++stick.readsStarted_;
    if (file->dead) return plat::IoStart::kFailed;
    // Like the HID class driver: the buffer must hold a whole report.
    if (length < stick.settings_.inputReportLength) return plat::IoStart::kFailed;
    if (io->hEvent != nullptr) plat::ResetEvent(io->hEvent);
    auto* out = static_cast<std::uint8_t*>(buffer);

    auto takeBuffered = [&]() -> std::uint32_t {
        const std::vector<std::uint8_t>& report = file->buffered.front();
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(report.size(), length));
        if (n > 0) std::memcpy(out, report.data(), n);
        file->buffered.pop_front();
        ++stick.consumed_;
        return n;
    };

    if (stick.faults_.readsCompleteAtOnce) {
        const std::uint32_t n = file->buffered.empty() ? 0 : takeBuffered();
        SetIoState(io, IoStatus::kDone, n);
        Signal(io);
        Changed();
        return plat::IoStart::kCompleted;
    }
    if (!file->buffered.empty()) {
        SetIoState(io, IoStatus::kDone, takeBuffered());
        Signal(io);
        Changed();
        return plat::IoStart::kPending;
    }
    SetIoState(io, IoStatus::kPending, 0);
    file->reads.push_back({io, out, length});
    Changed();
    return plat::IoStart::kPending;
}

plat::IoStart SimHidDriver::Write(plat::Handle device, const void* buffer, std::uint32_t length,
                                  plat::IoRecord* io) {
    if (io == nullptr || (buffer == nullptr && length > 0)) return plat::IoStart::kFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    OpenFile* file = FindFile(device);
    if (file == nullptr) return plat::IoStart::kFailed;
    VirtualStick& stick = *file->stick;
    ++stick.writesStarted_;
    if (file->dead) return plat::IoStart::kFailed;
    const StickFaults& faults = stick.faults_;
    // Like the HID class driver: exactly one whole output report.
    if (length != stick.settings_.outputReportLength || faults.writesFail) {
        return plat::IoStart::kFailed;
    }
    if (io->hEvent != nullptr) plat::ResetEvent(io->hEvent);
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> data(in, in + length);

    if (faults.writesCompleteAtOnce && !faults.writesNeverComplete) {
        std::uint32_t n = length;
        if (faults.writesShort && length > 0) {
            n = length - 1;
        } else if (!Receive(stick, data)) {
            SetIoState(io, IoStatus::kFailed, 0);
            return plat::IoStart::kFailed;
        }
        SetIoState(io, IoStatus::kDone, n);
        Signal(io);
        Changed();
        return plat::IoStart::kCompleted;
    }
    const std::uint64_t id = nextId_++;
    SetIoState(io, IoStatus::kPending, 0);
    file->writes.push_back({id, io, std::move(data), faults.writesShort});
    if (!faults.writesNeverComplete) {
        if (stick.settings_.writeLatencyMs == 0) {
            CompleteWrite(file->id, id);
        } else {
            Timed t{Timed::Kind::kWriteDone, stick.index_, file->id, id, 0, 0};
            Schedule(Clock::now() + std::chrono::milliseconds(stick.settings_.writeLatencyMs), t);
        }
    }
    Changed();
    return plat::IoStart::kPending;
}

bool SimHidDriver::GetResult(plat::Handle, plat::IoRecord* io, std::uint32_t* transferred) {
    if (io == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const IoState state = GetIoState(io);
    if (state.status != IoStatus::kDone) return false;
    if (transferred != nullptr) *transferred = state.transferred;
    return true;
}

void SimHidDriver::Cancel(plat::Handle, plat::IoRecord* io) {
    if (io == nullptr) return;
    // Completion only ever happens under the lock, so once the record is
    // out of the lists nothing touches its buffer again.
    std::lock_guard<std::mutex> lock(mutex_);
    if (GetIoState(io).status != IoStatus::kPending) return;
    for (auto& entry : files_) {
        OpenFile& file = *entry.second;
        auto r = std::find_if(file.reads.begin(), file.reads.end(),
                              [io](const OpenFile::PendingRead& p) { return p.io == io; });
        if (r != file.reads.end()) file.reads.erase(r);
        auto w = std::find_if(file.writes.begin(), file.writes.end(),
                              [io](const OpenFile::PendingWrite& p) { return p.io == io; });
        if (w != file.writes.end()) file.writes.erase(w);
    }
    SetIoState(io, IoStatus::kFailed, 0);
    Signal(io);
    Changed();
}

std::size_t SimHidDriver::LiveInputSystems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return liveSystems_;
}

std::size_t SimHidDriver::LivePreparsedData() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return liveParsed_.size();
}

// --- below: called with the lock held ---

void SimHidDriver::FailPending(OpenFile& file) {
    for (auto& r : file.reads) {
        SetIoState(r.io, IoStatus::kFailed, 0);
        Signal(r.io);
    }
    file.reads.clear();
    for (auto& w : file.writes) {
        SetIoState(w.io, IoStatus::kFailed, 0);
        Signal(w.io);
    }
    file.writes.clear();
}

void SimHidDriver::KillFiles(VirtualStick& stick) {
    for (auto& entry : files_) {
        OpenFile& file = *entry.second;
        if (file.stick != &stick) continue;
        file.dead = true;
        FailPending(file);
        file.buffered.clear();
    }
}

void SimHidDriver::Deliver(VirtualStick& stick, const std::uint8_t* bytes, std::uint32_t count) {
    ++stick.sent_;
    const std::uint16_t shortLength = stick.faults_.shortReportLength;
    if (shortLength != 0 && shortLength < count) count = shortLength;
    for (auto& entry : files_) {
        OpenFile& file = *entry.second;
        if (file.stick != &stick || file.dead) continue;
        if (!file.reads.empty()) {
            const OpenFile::PendingRead read = file.reads.front();
            file.reads.erase(file.reads.begin());
            const std::uint32_t n = std::min(count, read.length);
            if (n > 0) std::memcpy(read.buffer, bytes, n);
            ++stick.consumed_;
            SetIoState(read.io, IoStatus::kDone, n);
            Signal(read.io);
            continue;
        }
        if (stick.settings_.bufferedReports == 0) {
            ++stick.lost_;
            continue;
        }
        if (file.buffered.size() >= stick.settings_.bufferedReports) {
            file.buffered.pop_front();
            ++stick.lost_;
        }
        file.buffered.push_back(bytes, count);
    }
    Changed();
}

void SimHidDriver::SendAxisReport(VirtualStick& stick) {
    BuildAxisReport(scratch_, stick.settings_.inputReportLength, stick.settings_.axisReportId,
                    stick.x_, stick.y_);
    Deliver(stick, scratch_.data(), static_cast<std::uint32_t>(scratch_.size()));
}

void SimHidDriver::SendReply(VirtualStick& stick, std::uint8_t address) {
    for (std::uint32_t i = 0; i < stick.faults_.foreignReportsBeforeReply; ++i) {
        BuildAxisReport(scratch_, stick.settings_.inputReportLength, stick.faults_.foreignReportId,
                        stick.x_, stick.y_);
        Deliver(stick, scratch_.data(), static_cast<std::uint32_t>(scratch_.size()));
    }
    BuildReadReply(scratch_, stick.settings_.inputReportLength, stick.eeprom_, address);
    Deliver(stick, scratch_.data(), static_cast<std::uint32_t>(scratch_.size()));
}

bool SimHidDriver::Receive(VirtualStick& stick, const std::vector<std::uint8_t>& report) {
    Request req;
    req.at = Clock::now();
    req.length = static_cast<std::uint32_t>(report.size());
    req.bytes = report;
    const std::size_t n = report.size();
    if (n > 0) req.reportId = report[0];
    if (n > 1) req.command = report[1];
    if (n > 2) req.address = report[2];
    if (n > 3) req.count = report[3];
    stick.requests_.push_back(req);

    const FirmwareRequest asked = DecodeRequest(report.data(), n);
    StickFaults& faults = stick.faults_;
    if (asked.kind == FirmwareRequest::Kind::kRead) {
        if (faults.dropReplies > 0) {
            if (faults.dropReplies != StickFaults::kAlways) --faults.dropReplies;
            return true;
        }
        std::uint32_t delay = stick.settings_.replyLatencyMs;
        if (faults.lateReplies > 0) {
            if (faults.lateReplies != StickFaults::kAlways) --faults.lateReplies;
            delay += faults.lateReplyMs;
        }
        // The firmware answers one request after the other: a reply never
        // overtakes the reply to an earlier request. Timers due at the same
        // moment run in the order they were scheduled.
        const Clock::time_point when =
            std::max(Clock::now() + std::chrono::milliseconds(delay), stick.lastReplyAt_);
        stick.lastReplyAt_ = when;
        Timed t{Timed::Kind::kReply, stick.index_, 0, 0, stick.generation_, asked.address};
        Schedule(when, t);
    } else if (asked.kind == FirmwareRequest::Kind::kWrite && !faults.ignoreWrites) {
        const Eeprom before = stick.eeprom_;
        StoreWrite(stick.eeprom_, asked, faults.flipBitAddress);
        if (stick.store_ && !stick.store_(stick.eeprom_)) {
            stick.eeprom_ = before;
            return false;
        }
    }
    return true;
}

void SimHidDriver::CompleteWrite(std::uint64_t fileId, std::uint64_t writeId) {
    auto f = files_.find(fileId);
    if (f == files_.end()) return;
    OpenFile& file = *f->second;
    auto w = std::find_if(file.writes.begin(), file.writes.end(),
                          [writeId](const OpenFile::PendingWrite& p) { return p.id == writeId; });
    if (w == file.writes.end()) return;
    OpenFile::PendingWrite write = std::move(*w);
    file.writes.erase(w);
    auto n = static_cast<std::uint32_t>(write.data.size());
    bool kept = true;
    if (write.shortWrite && n > 0) {
        --n;
    } else {
        kept = Receive(*file.stick, write.data);
    }
    SetIoState(write.io, kept ? IoStatus::kDone : IoStatus::kFailed, kept ? n : 0);
    Signal(write.io);
    Changed();
}

void SimHidDriver::Schedule(Clock::time_point when, const Timed& what) {
    timers_.emplace(when, what);
    wake_.notify_all();
}

void SimHidDriver::Changed() {
    changed_.notify_all();
}

void SimHidDriver::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        while (!timers_.empty() && timers_.begin()->first <= now) {
            const Timed t = timers_.begin()->second;
            timers_.erase(timers_.begin());
            VirtualStick& stick = *sticks_[t.stick];
            if (t.kind == Timed::Kind::kWriteDone) {
                CompleteWrite(t.file, t.write);
            } else if (stick.plugged_ && stick.generation_ == t.generation) {
                SendReply(stick, t.address);
            }
        }
        Clock::time_point next = Clock::time_point::max();
        for (auto& stick : sticks_) {
            const std::uint32_t rate =
                std::min(stick->settings_.reportsPerSecond, kMaxReportsPerSecond);
            if (!stick->plugged_ || rate == 0) continue;
            const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
            if (now - stick->nextReport_ > kMaxBacklog) stick->nextReport_ = now;
            for (int burst = 0; stick->nextReport_ <= now && burst < kMaxBurst; ++burst) {
                SendAxisReport(*stick);
                stick->nextReport_ += period;
            }
            next = std::min(next, stick->nextReport_);
        }
        if (!timers_.empty()) next = std::min(next, timers_.begin()->first);
        if (next <= Clock::now()) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        } else if (next == Clock::time_point::max()) {
            wake_.wait(lock);
        } else {
            wake_.wait_until(lock, next);
        }
    }
}

}  // namespace sim
