// The wizard and the dump command end to end over the hidraw driver: a fake
// sysfs entry for the stick, its node a SOCK_SEQPACKET socket, and on the
// far end of that socket a small model of the stick's firmware on a thread of
// its own. The dialog runs step by step on the virtual window system, as in
// the wizard tests, whose fixture this extends. The worked example's block
// lands in the firmware's EEPROM and the dump saves the firmware's bytes,
// both in as many reports as the report lengths allow.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "calib/calibration_file.h"
#include "platform/hidraw_driver.h"
#include "tests/common/worked_example.h"
#include "tests/hidraw/fake_hidraw.h"
#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

namespace {

using hidraw_test::Bytes;
using namespace std::chrono_literals;

// Reports one a line as "01 03 6E", so failures read like the wire.
std::string Hex(const std::vector<Bytes>& reports) {
    std::string text;
    char digits[4];
    for (const Bytes& r : reports) {
        for (std::uint8_t b : r) text.append(digits, std::snprintf(digits, 4, "%02X ", b));
        text += '\n';
    }
    return text;
}

// The firmware's EEPROM at the start: a pattern that shows a stray write.
Bytes Background() {
    Bytes e(256);
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(0xA0 ^ i);
    return e;
}

// The stick's side of the node, plugged in while it lives. It sends axis
// reports every 2 ms on every connection; answers output report 1 command 4
// (read: byte 2 the address) with input report 2 (byte 1 the command, byte 2
// the address, byte 3 the data count, data from byte 4); and stores command
// 3 (write: byte 2 the address, byte 3 the count, data from byte 4).
// Addresses wrap at 256 as an 8-bit counter would.
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

    // The output reports with this command received so far, whole.
    std::vector<Bytes> Requests(std::uint8_t command) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_[command];
    }

    // The firmware thread's own from here on.
    void Run() {
        while (!stop_) {
            std::this_thread::sleep_for(2ms);
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
        const std::uint16_t x0 = x, y0 = y;
        const Bytes axes = {1, 0, 0, 0, 0, 0, 0, 0, Lo(x0), Lo(x0 >> 8), Lo(y0), Lo(y0 >> 8)};
        return ::send(fd, axes.data(), 12, MSG_DONTWAIT | MSG_NOSIGNAL) == 12 || errno == EAGAIN;
    }
    static std::uint8_t Lo(unsigned v) { return static_cast<std::uint8_t>(v); }

    Bytes Answer(const Bytes& r) {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_[r.size() > 1 ? r[1] : 0].push_back(r);
        if (r.size() < 4 || r[0] != 1) return {};
        const std::size_t count = r[1] == 3 ? std::min<std::size_t>(r[3], r.size() - 4) : 0;
        for (std::size_t i = 0; i < count; ++i) eeprom_[(r[2] + i) % 256] = r[4 + i];
        if (r[1] != 4) return {};
        Bytes reply = {2, 4, r[2], Lo(replyLength_ - 4)};
        while (reply.size() < replyLength_)
            reply.push_back(eeprom_[(r[2] + reply.size() - 4) % 256]);
        return reply;
    }

    const std::string node_;
    const std::uint16_t replyLength_;
    mutable std::mutex mutex_;
    Bytes eeprom_ = Background();
    std::vector<Bytes> requests_[256];  // by command
    std::atomic<bool> stop_{false};
    const int listener_ = hidraw_test::Listen(node_, SOCK_NONBLOCK, 4);
    std::vector<int> peers_;                 // the firmware thread's own
    std::thread thread_{[this] { Run(); }};  // last: starts once everything above is made
};

struct Lengths {
    const char* name;
    std::uint16_t input, output;
    // Of each request, reads and writes alike: a report carries length - 4
    // data bytes either way.
    std::vector<std::uint8_t> addresses;
};

// The wizard fixture with the hidraw driver in place of the virtual stick,
// and another controller, found first, to be passed over for its identity.
class HidrawLengthsTest : public WizardTest, public ::testing::WithParamInterface<Lengths> {
  protected:
    // The stick with the parameter's Windows report lengths (id byte
    // included): our stick's descriptor with its Report Counts set so that
    // report 1 is just buttons and axes (12 bytes with the id, the least
    // either length can be), report 2, the EEPROM reply, input - 1 bytes and
    // the command output - 1 bytes.
    void SetUp() override {
        WizardTest::SetUp();
        WriteConfig("");  // the eight fixed values all zero
        tree_.Add(0, "0003:0000045E:0000028E", hidraw_test::kGamePad);
        Bytes descriptor = hidraw_test::kStickWithIds;
        descriptor[54] = 0;
        descriptor[62] = static_cast<std::uint8_t>(GetParam().input - 1);
        descriptor[70] = static_cast<std::uint8_t>(GetParam().output - 1);
        tree_.AddEntry(3, "0003:00000F3D:00000402", &descriptor);
        firmware_ = std::make_unique<Firmware>(tree_.node(3), GetParam().input);
        plat::InstallHid(hidraw_.get());
    }
    // The output reports with this command, once `count` of them have come.
    std::vector<Bytes> WaitForRequests(std::uint8_t command, std::size_t count) {
        desktop_.WaitUntil([&] { return firmware_->Requests(command).size() >= count; }, 30s);
        return firmware_->Requests(command);
    }

    void SetAxes(std::uint16_t x, std::uint16_t y) override {
        firmware_->x = x;
        firmware_->y = y;
    }

    // What the host must send: whole output reports of the command, address
    // and count (0x80 for reads), the block's bytes for writes, then zeros.
    std::vector<Bytes> Expected(std::uint8_t command, const Bytes& block) const {
        std::vector<Bytes> reports;
        for (std::uint8_t a : GetParam().addresses) {
            const auto n = static_cast<std::uint8_t>(std::min(GetParam().output - 4, 128 - a));
            Bytes r = {1, command, a, command == 3 ? n : std::uint8_t(0x80)};
            if (command == 3) r.insert(r.end(), &block[a - 110], &block[a - 110] + n);
            r.resize(GetParam().output);
            reports.push_back(r);
        }
        return reports;
    }

    // Destroyed after TearDown has closed the dialog and its link.
    hidraw_test::FakeTree tree_;
    std::unique_ptr<Firmware> firmware_;
    std::unique_ptr<plat::HidrawDriver> hidraw_ = plat::MakeHidrawDriver(tree_.sys(), tree_.dev());
};

INSTANTIATE_TEST_SUITE_P(ReportLengths, HidrawLengthsTest,
                         ::testing::Values(Lengths{"Plain", 64, 64, {110}},
                                           Lengths{"Chunked", 12, 12, {110, 118, 126}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The dump reads the stick's block back in as many reports as the input
// length allows and saves it; then the worked example's block goes out in as
// many reports as the output length allows, nothing but that block, and is
// read back.
TEST_P(HidrawLengthsTest, DumpAndWorkedExampleOverTheDriver) {
    const std::size_t requests = GetParam().addresses.size();
    OpenDialog();
    MoveStick(0x8000, 0x8000);  // the reader runs, so it can park for the read
    responder_.savePath = (dir_ / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();
    EXPECT_EQ(Hex(WaitForRequests(4, requests)), Hex(Expected(4, {})));
    EXPECT_TRUE(firmware_->Requests(3).empty()) << "the dump wrote to the stick";
    CalibrationBlock block;
    std::copy_n(Background().begin() + 110, block.size(), block.begin());
    CalibrationRecord stick{};
    UnpackCalibrationBlock(block, stick);
    std::ifstream saved(dir_ / "dump.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), FormatCalibrationFile(stick));

    Walk();                      // the reader samples again once the read has let it go
    const auto boxes = Boxes();  // the read's box, then the write's
    ASSERT_EQ(boxes.size(), 2u) << testing::PrintToString(boxes);
    EXPECT_EQ(boxes[1], Debug(kWorkedExampleDataText));
    EXPECT_EQ(dlg_->m_bCalibrated, 1) << "every chunk went out, yet the write counts as failed";
    EXPECT_EQ(Hex(WaitForRequests(3, requests)), Hex(Expected(3, kWorkedExampleBlock)));
    EXPECT_EQ(firmware_->Requests(4).size(), 2 * requests) << "the dump's read and the read-back";
}

}  // namespace
