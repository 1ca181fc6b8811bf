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
#include "tests/hidraw/fake_firmware.h"
#include "tests/hidraw/fake_hidraw.h"
#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

namespace {

using hidraw_test::Background;
using hidraw_test::Bytes;
using hidraw_test::Firmware;
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
    // included).
    void SetUp() override {
        WizardTest::SetUp();
        WriteConfig("");  // the eight fixed values all zero
        tree_.Add(0, "0003:0000045E:0000028E", hidraw_test::kGamePad);
        const Bytes descriptor = hidraw_test::StickDescriptor(GetParam().input, GetParam().output);
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
