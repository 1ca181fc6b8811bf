// The whole program over the hidraw driver: a fake sysfs entry for the stick,
// its device node a SOCK_SEQPACKET socket, and on the far end of that socket
// a small model of the stick's firmware running on a thread of its own.
// The dialog runs step by step on the virtual window system, as in the
// wizard tests, whose fixture this extends.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/hidraw_driver.h"
#include "tests/hidraw/fake_tree.h"
#include "tests/wizard/wizard_fixture.h"

namespace hidraw_wizard {

using hidraw_test::Bytes;
using Eeprom = std::array<std::uint8_t, 256>;

// Bytes as "00 40 C0", reports one a line, so failures read like the wire.
inline std::string Hex(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        const char digits[] = "0123456789ABCDEF";
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}
inline std::string Hex(const std::vector<Bytes>& reports) {
    std::string text;
    for (const Bytes& r : reports) text += Hex(r) + "\n";
    return text;
}

// Windows report lengths (id byte included) that the descriptor is built for.
struct Lengths {
    std::uint16_t input;
    std::uint16_t output;
};

// The axis report is always 12 bytes on the wire: report 1 carries 56 button
// bits, then X and Y as 16-bit fields (bytes 8..11 with the id). Report 2,
// the EEPROM reply, and output report 1, the command, are sized so that the
// capability query gives `lengths` (so input lengths below 12 cannot be had).
inline Bytes StickDescriptor(Lengths lengths) {
    const auto reply = static_cast<std::uint8_t>(lengths.input - 1);
    const auto command = static_cast<std::uint8_t>(lengths.output - 1);
    // clang-format off
    return {
        0x05, 0x01, 0x09, 0x04, 0xA1, 0x01,        // Generic Desktop, Joystick
        0x85, 0x01,                                //   Report ID (1)
        0x05, 0x09, 0x19, 0x01, 0x29, 0x38,        //   Buttons 1..56
        0x15, 0x00, 0x25, 0x01,                    //   Logical 0..1
        0x75, 0x01, 0x95, 0x38, 0x81, 0x02,        //   Input: 56 x 1
        0x05, 0x01, 0x09, 0x30, 0x09, 0x31,        //   X, Y
        0x27, 0xFF, 0xFF, 0x00, 0x00,              //   Logical Maximum (65535)
        0x75, 0x10, 0x95, 0x02, 0x81, 0x02,        //   Input: 2 x 16
        0x85, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x02,  //   Report ID (2), vendor usage
        0x26, 0xFF, 0x00, 0x75, 0x08,              //   Logical Maximum (255), Size 8
        0x95, reply, 0x81, 0x02,                   //   Input: reply x 8
        0x85, 0x01, 0x09, 0x03,                    //   Report ID (1)
        0x95, command, 0x91, 0x02,                 //   Output: command x 8
        0xC0,
    };
    // clang-format on
}

// The stick's side of the wire. Streams axis reports every 2 ms to every
// connection; answers output report 1 command 4 (read: byte 2 address)
// with input report 2 (byte 1 the command, byte 2 the address, byte 3 the
// data count, data from byte 4); stores command 3 (write: byte 2 address,
// byte 3 count, data from byte 4). Addresses wrap at 256 as an 8-bit
// counter would. Every method may be called from any thread.
class StickFirmware {
  public:
    StickFirmware(std::string node, std::uint16_t replyLength)
        : node_(std::move(node)), replyLength_(replyLength), thread_([this] { Run(); }) {}

    ~StickFirmware() {
        stop_ = true;
        thread_.join();
        CloseAll();
    }
    StickFirmware(const StickFirmware&) = delete;
    StickFirmware& operator=(const StickFirmware&) = delete;

    void SetAxes(std::uint16_t x, std::uint16_t y) {
        x_ = x;
        y_ = y;
    }

    Eeprom EepromContents() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return eeprom_;
    }
    void SetEeprom(const Eeprom& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        eeprom_ = e;
    }

    // Every output report received, whole, in order of arrival.
    std::vector<Bytes> Requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // Connections accepted so far: one per open of the node.
    int Connections() const { return connections_.load(); }

    // Plug: a listening socket at the node. Unplug: the node goes, and with
    // it every connection. Both return once the firmware thread has done it.
    bool Plug() { return Switch(true); }
    bool Unplug() { return Switch(false); }

  private:
    struct Peer {
        int fd;
        std::vector<Bytes> outbox;  // replies the host has not yet taken
    };

    bool Switch(bool plugged) {
        std::unique_lock<std::mutex> lock(mutex_);
        wantPlugged_ = plugged;
        ++switchRequest_;
        const unsigned request = switchRequest_;
        const bool done = changed_.wait_for(lock, std::chrono::seconds(30),
                                            [&] { return switchDone_ >= request; });
        return done && plugged_ == plugged && (!plugged || listener_ >= 0);
    }

    // Firmware thread only, except from the destructor after the join.
    void CloseAll() {
        for (Peer& p : peers_) ::close(p.fd);
        peers_.clear();
        if (listener_ >= 0) {
            ::close(listener_);
            ::unlink(node_.c_str());
            listener_ = -1;
        }
    }

    void Listen() {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, node_.c_str(), sizeof address.sun_path - 1);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 4) != 0) {
            if (fd >= 0) ::close(fd);
            return;
        }
        listener_ = fd;
    }

    void ApplySwitch() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (switchDone_ == switchRequest_) return;
        if (wantPlugged_ != plugged_) {
            if (wantPlugged_) {
                Listen();
            } else {
                CloseAll();
            }
            plugged_ = wantPlugged_;
        }
        switchDone_ = switchRequest_;
        changed_.notify_all();
    }

    // False when the host is gone.
    static bool Send(int fd, const Bytes& report, bool* full) {
        *full = false;
        const ssize_t n = ::send(fd, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) return true;
        *full = errno == EAGAIN || errno == EWOULDBLOCK;
        return *full || errno == EINTR;
    }

    void Answer(Peer& peer, const Bytes& report) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(report);
        if (report.size() < 4 || report[0] != 1) return;
        const std::uint8_t address = report[2];
        if (report[1] == 4) {
            Bytes reply(replyLength_, 0);
            reply[0] = 2;
            reply[1] = 4;
            reply[2] = address;
            reply[3] = static_cast<std::uint8_t>(replyLength_ - 4);
            for (std::size_t i = 4; i < reply.size(); ++i) {
                reply[i] = eeprom_[static_cast<std::uint8_t>(address + i - 4)];
            }
            peer.outbox.push_back(std::move(reply));
        } else if (report[1] == 3) {
            const std::size_t count = std::min<std::size_t>(report[3], report.size() - 4);
            for (std::size_t i = 0; i < count; ++i) {
                eeprom_[static_cast<std::uint8_t>(address + i)] = report[4 + i];
            }
        }
    }

    // False when the host closed the connection.
    bool Receive(Peer& peer) {
        for (;;) {
            Bytes buffer(4096);
            const ssize_t n = ::recv(peer.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n == 0) return false;
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            buffer.resize(static_cast<std::size_t>(n));
            Answer(peer, buffer);
        }
    }

    // Replies first and in order, as an endpoint hands out one report after
    // another; an axis report that finds the host's queue full is dropped.
    bool Transmit(Peer& peer, bool axisDue) {
        bool full = false;
        while (!peer.outbox.empty()) {
            if (!Send(peer.fd, peer.outbox.front(), &full)) return false;
            if (full) return true;
            peer.outbox.erase(peer.outbox.begin());
        }
        if (!axisDue) return true;
        Bytes axes(12, 0);
        axes[0] = 1;
        const std::uint16_t x = x_, y = y_;
        axes[8] = static_cast<std::uint8_t>(x);
        axes[9] = static_cast<std::uint8_t>(x >> 8);
        axes[10] = static_cast<std::uint8_t>(y);
        axes[11] = static_cast<std::uint8_t>(y >> 8);
        return Send(peer.fd, axes, &full);
    }

    void Run() {
        using Clock = std::chrono::steady_clock;
        constexpr auto kPeriod = std::chrono::milliseconds(2);
        auto next = Clock::now() + kPeriod;
        while (!stop_) {
            ApplySwitch();
            std::vector<pollfd> fds;
            fds.push_back({listener_, POLLIN, 0});
            for (const Peer& p : peers_) {
                fds.push_back(
                    {p.fd, static_cast<short>(POLLIN | (p.outbox.empty() ? 0 : POLLOUT)), 0});
            }
            ::poll(fds.data(), fds.size(), 1);

            if (listener_ >= 0 && (fds[0].revents & POLLIN) != 0) {
                for (int fd; (fd = ::accept4(listener_, nullptr, nullptr,
                                             SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    peers_.push_back(Peer{fd, {}});
                    ++connections_;
                }
            }
            const bool axisDue = Clock::now() >= next;
            if (axisDue) {
                next += kPeriod;
                if (next < Clock::now()) next = Clock::now() + kPeriod;
            }
            for (std::size_t i = 0; i < peers_.size();) {
                if (Receive(peers_[i]) && Transmit(peers_[i], axisDue)) {
                    ++i;
                } else {
                    ::close(peers_[i].fd);
                    peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
    }

    const std::string node_;
    const std::uint16_t replyLength_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint16_t> x_{0x8000};
    std::atomic<std::uint16_t> y_{0x8000};
    std::atomic<int> connections_{0};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Eeprom eeprom_{};
    std::vector<Bytes> requests_;
    bool wantPlugged_ = false;
    bool plugged_ = false;
    unsigned switchRequest_ = 0;
    unsigned switchDone_ = 0;

    // The firmware thread's own.
    int listener_ = -1;
    std::vector<Peer> peers_;

    std::thread thread_;  // last: starts once everything above is made
};

// The wizard fixture with the hidraw driver in place of the virtual stick.
// Attach() before OpenDialog().
class HidrawWizardTest : public WizardTest {
  protected:
    static constexpr unsigned kStickNumber = 3;
    static constexpr const char* kStickId = "0003:00000F3D:00000402";

    void TearDown() override {
        WizardTest::TearDown();  // the dialog and its link go first
        firmware_.reset();
        hidraw_.reset();
        tree_.reset();
    }

    void Attach(Lengths lengths) {
        lengths_ = lengths;
        tree_ = std::make_unique<hidraw_test::FakeTree>();
        // Another controller, found first and passed over for its identity.
        tree_->Add(0, "0003:0000045E:0000028E", hidraw_test::kGamePad);
        firmware_ = std::make_unique<StickFirmware>(tree_->node(kStickNumber), lengths.input);
        PlugStick();

        const auto listed = plat::ListHidrawControllers(tree_->sys(), tree_->dev());
        ASSERT_EQ(listed.size(), 2u);
        ASSERT_EQ(listed[1].vidPid, DeviceIdentity);
        ASSERT_EQ(listed[1].inputReportLength, lengths.input) << "the descriptor is off";
        ASSERT_EQ(listed[1].outputReportLength, lengths.output) << "the descriptor is off";

        hidraw_ = plat::MakeHidrawDriver(tree_->sys(), tree_->dev());
        plat::InstallHid(hidraw_.get());
    }

    void PlugStick() {
        const std::string uevent = hidraw_test::FakeTree::Uevent(kStickId);
        const Bytes descriptor = StickDescriptor(lengths_);
        tree_->AddEntry(kStickNumber, &uevent, &descriptor);
        ASSERT_TRUE(firmware_->Plug()) << "no listening node";
    }

    void UnplugStick() {
        ASSERT_TRUE(firmware_->Unplug());
        std::filesystem::remove_all(tree_->sys() + "/class/hidraw/hidraw" +
                                    std::to_string(kStickNumber));
    }

    // Moves the stick and waits until the reader has published the position.
    void HoldStick(std::uint16_t x, std::uint16_t y) {
        firmware_->SetAxes(x, y);
        const bool seen = desktop_.WaitUntil(
            [&] { return dlg_->m_nCurX == x && dlg_->m_nCurY == y; }, std::chrono::seconds(30));
        ASSERT_TRUE(seen) << "reader never published " << std::hex << x << "," << y;
    }

    // The output reports with this command, once `count` of them have come.
    std::vector<Bytes> WaitForRequests(std::uint8_t command, std::size_t count) {
        std::vector<Bytes> found;
        desktop_.WaitUntil(
            [&] {
                found.clear();
                for (const Bytes& r : firmware_->Requests()) {
                    if (r.size() >= 2 && r[1] == command) found.push_back(r);
                }
                return found.size() >= count;
            },
            std::chrono::seconds(30));
        return found;
    }

    Bytes FirmwareBlock() const {
        const Eeprom e = firmware_->EepromContents();
        return {e.begin() + 110, e.begin() + 128};
    }

    Lengths lengths_{};
    std::unique_ptr<hidraw_test::FakeTree> tree_;
    std::unique_ptr<StickFirmware> firmware_;
    std::unique_ptr<plat::HidrawDriver> hidraw_;
};

}  // namespace hidraw_wizard
