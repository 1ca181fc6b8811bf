// Discovery: which attached controller is taken, how its path is copied, and
// what is left behind when nothing (or something unopenable) is found.
#include "tests/device/device_fixture.h"

namespace {

class DiscoveryTest : public devtest::DeviceTest {};

// A controller that says it is the stick but has no device behind its path:
// found, though the link cannot open.
TEST_F(DiscoveryTest, OnlyTheWholeIdentityIsTakenAndItsPathCut) {
    const struct {
        std::uint32_t vidPid;
        std::u16string path;
        std::string expected;
    } cases[] = {
        {DeviceIdentity, std::u16string(259, u'b'), std::string(259, 'b')},
        {DeviceIdentity, std::u16string(260, u'c'), std::string(259, 'c')},
        // U+0141 keeps 0x41, U+2163 keeps 0x63: no code-page conversion.
        {DeviceIdentity, u"\\\\?\\hid#\u0141\u2163", "\\\\?\\hid#Ac"},
        // Other product, other vendor, halves swapped.
        {0x04030F3D, u"p", ""},
        {0x04020F3E, u"v", ""},
        {0x0F3D0402, u"s", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "identity 0x" << c.vidPid << std::dec
                                          << ", path of " << c.path.size());
        Fresh().AddController({.vidPid = c.vidPid, .path = c.path});
        std::memset(dlg_.m_szDevicePath, 'x', sizeof dlg_.m_szDevicePath);
        dlg_.m_bDeviceFound = 1;
        dlg_.FindDevice();
        const bool found = !c.expected.empty();
        EXPECT_EQ(std::string(dlg_.m_szDevicePath), c.expected);
        EXPECT_EQ(dlg_.m_bDeviceFound.load(), found ? 1u : 0u);
        EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
        EXPECT_EQ(BoxTexts(), found ? std::vector<std::string>{"Fail on CreateFile!"}
                                    : std::vector<std::string>{});
    }
}

TEST_F(DiscoveryTest, UnreadableControllersAreSkippedTheFirstStickWinsAndRediscoveryCloses) {
    driver_->AddController({.vidPid = DeviceIdentity, .path = u"a", .createFails = true});
    driver_->AddController({.vidPid = DeviceIdentity, .path = u"b", .vidPidUnreadable = true});
    driver_->AddController({.vidPid = DeviceIdentity, .path = u"c", .pathUnreadable = true});
    sim::VirtualStick& first = driver_->AddStick(devtest::Stick());
    sim::VirtualStick& other = driver_->AddStick({.path = u"\\\\?\\hid#vid_0f3d&pid_0402#second"});
    for (int pass = 1; pass <= 2; ++pass) {
        dlg_.FindDevice();
        EXPECT_STREQ(dlg_.m_szDevicePath, devtest::kStickPath) << "pass " << pass;
        EXPECT_EQ(dlg_.m_bDeviceFound.load(), 1u) << "pass " << pass;
        ASSERT_TRUE(first.WaitForPendingReads(1, devtest::kLimit));
        EXPECT_EQ(first.OpenHandles(), 1u) << "pass " << pass << ": the old link closed first";
        EXPECT_EQ(other.OpenHandles(), 0u) << "pass " << pass;
        EXPECT_EQ(driver_->LiveInputSystems(), 1u) << "pass " << pass;
    }
    EXPECT_EQ(first.PendingReads(), 1u) << "exactly one reader runs";
    EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
