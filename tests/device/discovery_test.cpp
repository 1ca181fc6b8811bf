// Discovery: which attached controller is taken, how its path is copied, and
// what is left behind when nothing (or something unopenable) is found.
#include "tests/device/device_fixture.h"

namespace {

using devtest::DeviceTest;
using devtest::kStickPath;
using devtest::Stick;

sim::ControllerInfo Other(std::uint32_t vidPid, const std::u16string& path) {
    sim::ControllerInfo info;
    info.vidPid = vidPid;
    info.path = path;
    return info;
}

class DiscoveryTest : public DeviceTest {};

TEST_F(DiscoveryTest, NoStickLeavesNothingOpenAndShowsNothing) {
    driver_.AddController(Other(0x12345678, u"\\\\?\\hid#pad"));
    std::strcpy(dlg_.m_szDevicePath, "stale");
    dlg_.m_bDeviceFound = 1;
    dlg_.FindDevice();
    EXPECT_STREQ(dlg_.m_szDevicePath, "");
    EXPECT_EQ(dlg_.m_bDeviceFound.load(), 0u);
    EXPECT_EQ(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(DiscoveryTest, OnlyTheWholeIdentityMatches) {
    struct Case {
        std::uint32_t vidPid;
        bool taken;
    } cases[] = {
        {0x04020F3D, true},  {0x04030F3D, false},  // other product
        {0x04020F3E, false},                       // other vendor
        {0x0F3D0402, false},                       // halves swapped
        {0x00000F3D, false}, {0x04020000, false},
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        driver.AddController(Other(c.vidPid, u"\\\\?\\hid#candidate"));
        plat::InstallHid(&driver);
        dlg_.FindDevice();
        EXPECT_EQ(std::string(dlg_.m_szDevicePath), c.taken ? "\\\\?\\hid#candidate" : "")
            << std::hex << "identity 0x" << c.vidPid;
        EXPECT_EQ(dlg_.m_bDeviceFound.load(), c.taken ? 1u : 0u) << std::hex << c.vidPid;
        dlg_.CloseLink();
        dlg_.m_pDI->Release();
        dlg_.m_pDI = nullptr;
        plat::InstallHid(&driver_);
    }
}

TEST_F(DiscoveryTest, UnreadableControllersAreSkippedAndTheFirstStickWins) {
    sim::ControllerInfo noDevice = Other(DeviceIdentity, u"\\\\?\\hid#nodevice");
    noDevice.createFails = true;
    sim::ControllerInfo noId = Other(DeviceIdentity, u"\\\\?\\hid#noid");
    noId.vidPidUnreadable = true;
    sim::ControllerInfo noPath = Other(DeviceIdentity, u"\\\\?\\hid#nopath");
    noPath.pathUnreadable = true;
    driver_.AddController(noDevice);
    driver_.AddController(noId);
    driver_.AddController(noPath);
    sim::VirtualStick& first = driver_.AddStick(Stick());
    sim::StickSettings second = Stick();
    second.path = u"\\\\?\\hid#vid_0f3d&pid_0402#second";
    sim::VirtualStick& other = driver_.AddStick(second);

    dlg_.FindDevice();
    EXPECT_STREQ(dlg_.m_szDevicePath, kStickPath);
    EXPECT_EQ(dlg_.m_bDeviceFound.load(), 1u);
    EXPECT_NE(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_NE(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_EQ(first.OpenHandles(), 1u);
    EXPECT_EQ(other.OpenHandles(), 0u);
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(DiscoveryTest, PathIsCutAfter259CharactersOfLowBytes) {
    struct Case {
        const char* what;
        std::u16string path;
        std::string expected;
    } cases[] = {
        {"258", std::u16string(258, u'a'), std::string(258, 'a')},
        {"259", std::u16string(259, u'b'), std::string(259, 'b')},
        {"260", std::u16string(260, u'c'), std::string(259, 'c')},
        {"300", std::u16string(300, u'd'), std::string(259, 'd')},
        // U+0141 keeps 0x41, U+2163 keeps 0x63: no code-page conversion.
        {"wide", u"\\\\?\\hid#\u0141\u2163", "\\\\?\\hid#Ac"},
    };
    for (const Case& c : cases) {
        sim::SimHidDriver driver;
        driver.AddController(Other(DeviceIdentity, c.path));
        plat::InstallHid(&driver);
        std::memset(dlg_.m_szDevicePath, 'x', sizeof dlg_.m_szDevicePath);
        dlg_.FindDevice();
        EXPECT_EQ(std::string(dlg_.m_szDevicePath), c.expected) << c.what;
        EXPECT_EQ(dlg_.m_bDeviceFound.load(), 1u) << c.what;
        dlg_.m_pDI->Release();
        dlg_.m_pDI = nullptr;
        plat::InstallHid(&driver_);
    }
}

TEST_F(DiscoveryTest, StickThatCannotBeOpenedStillCountsAsFound) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    sim::StickFaults f;
    f.openFails = true;
    stick.SetFaults(f);
    dlg_.m_nCurX = 0x1234;
    dlg_.FindDevice();
    EXPECT_STREQ(dlg_.m_szDevicePath, kStickPath);
    EXPECT_EQ(dlg_.m_bDeviceFound.load(), 1u);
    EXPECT_EQ(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_EQ(dlg_.m_hReaderThread.load(), nullptr);
    EXPECT_EQ(dlg_.m_hDevice.load(), plat::InvalidHandle());
    EXPECT_EQ(dlg_.m_nCurX.load(), 0x1234) << "the axes keep what they held";
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Fail on CreateFile!"});
    ExpectDebugBoxes();
}

TEST_F(DiscoveryTest, RediscoveryClosesTheOldLinkFirst) {
    sim::VirtualStick& stick = driver_.AddStick(Stick());
    dlg_.FindDevice();
    ASSERT_EQ(dlg_.m_bDeviceFound.load(), 1u);
    const plat::Handle firstDevice = dlg_.m_hDevice.load();
    ASSERT_TRUE(stick.WaitForPendingReads(1, devtest::kLimit));

    dlg_.FindDevice();
    EXPECT_EQ(dlg_.m_bDeviceFound.load(), 1u);
    EXPECT_NE(dlg_.m_hDevice.load(), firstDevice);
    EXPECT_EQ(stick.OpenHandles(), 1u) << "the first handle must have been closed";
    EXPECT_EQ(driver_.LiveInputSystems(), 1u) << "the previous input system must be released";
    ASSERT_TRUE(stick.WaitForPendingReads(1, devtest::kLimit));
    EXPECT_EQ(stick.PendingReads(), 1u) << "exactly one reader runs";

    // The stick gone, the next discovery leaves the link closed.
    stick.Unplug();
    dlg_.FindDevice();
    EXPECT_EQ(dlg_.m_bDeviceFound.load(), 0u);
    EXPECT_EQ(dlg_.m_pInBuf.load(), nullptr);
    EXPECT_EQ(stick.OpenHandles(), 0u);
}

}  // namespace
