// The handle on one stick that tests and front-ends hold: settings, faults,
// axes, plugging, EEPROM and the counters, all under the driver's lock.
#include "sim/driver_internal.h"
#include "sim/virtual_stick.h"

namespace sim {

VirtualStick::VirtualStick(SimHidDriver& driver, std::size_t index, const StickSettings& settings)
    : driver_(driver), index_(index), settings_(settings) {
    eeprom_.fill(0xFF);  // erased
}

StickSettings VirtualStick::Settings() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return settings_;
}

void VirtualStick::SetSettings(const StickSettings& settings) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    if (settings.reportsPerSecond != settings_.reportsPerSecond) {
        nextReport_ = SimHidDriver::Clock::now();
    }
    settings_ = settings;
    driver_.wake_.notify_all();
}

StickFaults VirtualStick::Faults() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return faults_;
}

void VirtualStick::SetFaults(const StickFaults& faults) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    faults_ = faults;
}

void VirtualStick::SetAxes(std::uint16_t x, std::uint16_t y) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    x_ = x;
    y_ = y;
}

std::uint16_t VirtualStick::X() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return x_;
}

std::uint16_t VirtualStick::Y() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return y_;
}

void VirtualStick::SendReport() {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    if (plugged_) driver_.SendAxisReport(*this);
}

void VirtualStick::SendRawReport(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    if (!plugged_) return;
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 65535));
    driver_.Deliver(*this, bytes.data(), count);
}

void VirtualStick::Unplug() {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    if (!plugged_) return;
    plugged_ = false;
    ++generation_;
    lastReplyAt_ = {};
    driver_.KillFiles(*this);
    driver_.Changed();
}

void VirtualStick::Plug() {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    if (plugged_) return;
    plugged_ = true;
    x_ = y_ = kCentre;
    nextReport_ = SimHidDriver::Clock::now();
    driver_.wake_.notify_all();
    driver_.Changed();
}

bool VirtualStick::Plugged() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return plugged_;
}

Eeprom VirtualStick::EepromContents() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return eeprom_;
}

void VirtualStick::SetEeprom(const Eeprom& contents) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    eeprom_ = contents;
}

void VirtualStick::SetEepromBacking(EepromLoad load, EepromStore store) {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    load_ = std::move(load);
    store_ = std::move(store);
}

std::vector<Request> VirtualStick::Requests() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return requests_;
}

void VirtualStick::ClearRequests() {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    requests_.clear();
}

std::uint64_t VirtualStick::ReportsSent() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return sent_;
}

std::uint64_t VirtualStick::ReportsConsumed() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return consumed_;
}

std::uint64_t VirtualStick::ReportsLost() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return lost_;
}

std::uint64_t VirtualStick::ReadsStarted() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return readsStarted_;
}

std::uint64_t VirtualStick::WritesStarted() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    return writesStarted_;
}

void VirtualStick::ResetCounters() {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    sent_ = consumed_ = lost_ = readsStarted_ = writesStarted_ = 0;
}

std::size_t VirtualStick::PendingReads() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    std::size_t n = 0;
    for (auto& entry : driver_.files_) {
        if (entry.second->stick == this) n += entry.second->reads.size();
    }
    return n;
}

std::size_t VirtualStick::PendingWrites() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    std::size_t n = 0;
    for (auto& entry : driver_.files_) {
        if (entry.second->stick == this) n += entry.second->writes.size();
    }
    return n;
}

std::size_t VirtualStick::OpenHandles() const {
    std::lock_guard<std::mutex> lock(driver_.mutex_);
    std::size_t n = 0;
    for (auto& entry : driver_.files_) {
        if (entry.second->stick == this) ++n;
    }
    return n;
}

bool VirtualStick::WaitForPendingReads(std::size_t count, std::chrono::milliseconds limit) const {
    return driver_.WaitFor(limit, [&] {
        std::size_t n = 0;
        for (auto& entry : driver_.files_) {
            if (entry.second->stick == this) n += entry.second->reads.size();
        }
        return n >= count;
    });
}

bool VirtualStick::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    return driver_.WaitFor(limit, [&] { return requests_.size() >= count; });
}

}  // namespace sim
