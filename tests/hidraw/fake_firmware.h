// The stick's firmware (the virtual stick's own model) on the far end of a
// stand-in node (see fake_hidraw.h), on a thread of its own, and the
// descriptor of a stick with given report lengths.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/stick_firmware.h"
#include "tests/hidraw/fake_hidraw.h"

namespace hidraw_test {

// Our stick's descriptor with its Report Counts set so that report 1 is
// just buttons and axes (12 bytes with the id, the least either length can
// be), report 2, the EEPROM reply, input - 1 bytes and the command output -
// 1 bytes: Windows' lengths `input` and `output`, id byte included.
inline Bytes StickDescriptor(std::uint16_t input, std::uint16_t output) {
    Bytes descriptor = kStickWithIds;
    descriptor[54] = 0;
    descriptor[62] = static_cast<std::uint8_t>(input - 1);
    descriptor[70] = static_cast<std::uint8_t>(output - 1);
    return descriptor;
}

// The firmware's EEPROM at the start: a pattern that shows a stray write.
inline sim::Eeprom Background() {
    sim::Eeprom e;
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    return e;
}

// The stick's side of the node, plugged in while it lives. It sends axis
// reports of 12 bytes every 2 ms on every connection, answers reads at once
// with replies of the given length and stores writes.
struct Firmware {
    Firmware(const std::string& node, std::uint16_t reply) : node_(node), replyLength_(reply) {}
    ~Firmware() {
        stop_ = true;
        thread_.join();
        for (int fd : peers_) ::close(fd);
        ::close(listener_);
        ::unlink(node_.c_str());
    }

    std::atomic<std::uint16_t> x{0x8000}, y{0x8000};

    // Called with every output report as it arrives, before it is acted
    // on, on the firmware's thread.
    void OnRequest(std::function<void(const Bytes&)> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        onRequest_ = std::move(hook);
    }
    Bytes Eeprom() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return Bytes(eeprom_.begin(), eeprom_.end());
    }

    // The output reports with this command received so far, whole.
    std::vector<Bytes> Requests(std::uint8_t command) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_[command];
    }

    // The firmware thread's own from here on.
    void Run() {
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, 0)) >= 0;)
                peers_.push_back(fd);
            // A connection the host has left is closed and dropped.
            std::erase_if(peers_, [this](int fd) { return !Serve(fd) && (::close(fd), true); });
        }
    }

    // Answers what the host wrote and sends the axes; false once the host
    // has gone. Replies wait for room in the host's queue; an axis report
    // that finds it full is dropped.
    bool Serve(int fd) {
        for (Bytes r(4096);; r.resize(4096)) {
            const ssize_t n = ::recv(fd, r.data(), r.size(), MSG_DONTWAIT);
            // A host that closes with reports unread resets the connection, but
            // what it wrote before is still there to be read.
            if (n < 0 && errno == ECONNRESET) continue;
            if (n == 0 || (n < 0 && errno != EAGAIN)) return false;
            if (n < 0) break;
            r.resize(static_cast<std::size_t>(n));
            const Bytes reply = Answer(r);
            if (!reply.empty() && ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
                return false;
        }
        Bytes axes;
        sim::BuildAxisReport(axes, 12, 1, x, y);
        return ::send(fd, axes.data(), 12, MSG_DONTWAIT | MSG_NOSIGNAL) == 12 || errno == EAGAIN;
    }

    Bytes Answer(const Bytes& r) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_[r.size() > 1 ? r[1] : 0].push_back(r);
        if (onRequest_) onRequest_(r);
        const sim::FirmwareRequest asked = sim::DecodeRequest(r.data(), r.size());
        Bytes reply;
        if (asked.kind == sim::FirmwareRequest::Kind::kWrite) sim::StoreWrite(eeprom_, asked);
        if (asked.kind == sim::FirmwareRequest::Kind::kRead)
            sim::BuildReadReply(reply, replyLength_, eeprom_, asked.address);
        return reply;
    }

    const std::string node_;
    const std::uint16_t replyLength_;
    mutable std::mutex mutex_;
    sim::Eeprom eeprom_ = Background();
    std::vector<Bytes> requests_[256];  // by command
    std::function<void(const Bytes&)> onRequest_;
    std::atomic<bool> stop_{false};
    const int listener_ = hidraw_test::Listen(node_, SOCK_NONBLOCK, 4);
    std::vector<int> peers_;                 // the firmware thread's own
    std::thread thread_{[this] { Run(); }};  // last: starts once everything above is made
};

}  // namespace hidraw_test
