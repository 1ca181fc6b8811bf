// Discovery over a fake sysfs: which hidraw entries are game controllers, in
// which order, their identity and path as DirectInput would give them, the
// per-controller failures that skip one, and the open-failure advice.
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hidraw_driver.h"
#include "platform/posix/hidraw_sysfs.h"
#include "tests/hidraw/fake_tree.h"

namespace {

using hidraw_test::FakeTree;

struct Found {
    std::uint32_t vidPid = 0;
    std::string path;
};

// The dialog's discovery loop, collecting every controller it can read.
std::vector<Found> Discover(plat::HidDriver& driver) {
    struct Context {
        plat::InputSystem* system;
        std::vector<Found> found;
    };
    plat::InputSystem* system = nullptr;
    EXPECT_TRUE(driver.CreateInputSystem(&system));
    Context context{system, {}};
    system->EnumDevices(
        [](const plat::DeviceInstance* instance, void* raw) {
            auto* c = static_cast<Context*>(raw);
            plat::InputDevice* device = nullptr;
            if (!c->system->CreateDevice(*instance, &device)) return plat::kDienumContinue;
            Found f;
            plat::GuidAndPath record{};
            if (device->GetVidPid(&f.vidPid) && device->GetGuidAndPath(&record)) {
                for (char16_t u : record.wszPath) {
                    if (u == 0) break;
                    f.path.push_back(static_cast<char>(u & 0xFF));
                }
                c->found.push_back(f);
            }
            device->Release();
            return plat::kDienumContinue;
        },
        &context);
    system->Release();
    return context.found;
}

// hidraw numbers chosen so that text order (10 < 2) differs from number order.
void Populate(FakeTree& tree) {
    tree.Add(2, "0003:00000F3D:00000402", hidraw_test::kStickWithIds);
    tree.Add(10, "0003:0000045E:0000028E", hidraw_test::kGamePad);
    tree.Add(0, "0005:00001234:00005678", hidraw_test::kStickWithoutIds);
    tree.Add(1, "0003:0000046D:0000C31C", hidraw_test::kKeyboard);
    tree.Add(3, "0003:00000F3D:00000402", hidraw_test::Truncated());
    tree.Add(4, "0003:00000F3D:00000402", hidraw_test::Bytes{0xA1, 0x01, 0xC0, 0xC0});
    // Controllers that fail one of discovery's calls.
    const std::string noId = FakeTree::Uevent("bogus");
    tree.AddEntry(5, &noId, &hidraw_test::kStickWithIds);
    tree.AddNode(5);
    tree.AddEntry(6, nullptr, &hidraw_test::kStickWithIds);
    tree.AddNode(6);
    const std::string ok = FakeTree::Uevent("0003:00000F3D:00000402");
    tree.AddEntry(7, &ok, &hidraw_test::kStickWithIds);  // no node
    tree.AddEntry(8, &ok, nullptr);                      // no descriptor
    tree.AddNode(8);
}

TEST(Discovery, ControllersInNumberOrderWithIdentityAndPath) {
    FakeTree tree;
    Populate(tree);
    auto driver = plat::MakeHidrawDriver(tree.sys(), tree.dev());
    const std::vector<Found> found = Discover(*driver);

    const std::vector<std::pair<std::uint32_t, std::string>> expected = {
        {0x56781234, tree.node(0)},
        {0x04020F3D, tree.node(2)},
        {0x028E045E, tree.node(10)},
    };
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i].vidPid, expected[i].first) << std::hex << "entry " << i;
        EXPECT_EQ(found[i].path, expected[i].second) << "entry " << i;
    }

    const std::vector<plat::HidrawController> listed =
        plat::ListHidrawControllers(tree.sys(), tree.dev());
    ASSERT_EQ(listed.size(), expected.size());
    const std::uint16_t lengths[][2] = {{6, 4}, {16, 9}, {3, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(listed[i].vidPid, expected[i].first) << "entry " << i;
        EXPECT_EQ(listed[i].path, expected[i].second) << "entry " << i;
        EXPECT_EQ(listed[i].inputReportLength, lengths[i][0]) << "entry " << i;
        EXPECT_EQ(listed[i].outputReportLength, lengths[i][1]) << "entry " << i;
        EXPECT_EQ(listed[i].name, "Test Stick");
    }
}

TEST(Discovery, EnumerationStopsWhenAsked) {
    FakeTree tree;
    Populate(tree);
    auto driver = plat::MakeHidrawDriver(tree.sys(), tree.dev());
    plat::InputSystem* system = nullptr;
    ASSERT_TRUE(driver->CreateInputSystem(&system));
    int calls = 0;
    system->EnumDevices(
        [](const plat::DeviceInstance*, void* count) {
            ++*static_cast<int*>(count);
            return plat::kDienumStop;
        },
        &calls);
    EXPECT_EQ(calls, 1);
    plat::InputDevice* device = nullptr;
    plat::DeviceInstance foreign;
    foreign.guidInstance[0] = 0x42;
    EXPECT_FALSE(system->CreateDevice(foreign, &device)) << "a GUID not made by this driver";
    system->Release();
}

TEST(Discovery, MissingTreeFindsNothing) {
    auto driver = plat::MakeHidrawDriver("/nonexistent-sysfs", "/nonexistent-dev");
    EXPECT_TRUE(Discover(*driver).empty());
    EXPECT_TRUE(plat::ListHidrawControllers("/nonexistent-sysfs", "/nonexistent-dev").empty());
}

TEST(Discovery, UeventIdentity) {
    struct Case {
        const char* text;
        bool ok;
        std::uint16_t vendor, product;
    };
    const Case cases[] = {
        {"HID_ID=0003:00000F3D:00000402\n", true, 0x0F3D, 0x0402},
        {"A=1\nHID_ID=0005:0000abcd:0000EF01", true, 0xABCD, 0xEF01},
        {"HID_ID=0003:00010F3D:00000402\n", false, 0, 0},   // vendor beyond 16 bits
        {"HID_ID=0003:000000F3D:00000402\n", false, 0, 0},  // 9 digits
        {"HID_ID=0003:00000F3D\n", false, 0, 0},
        {"HID_ID=0003:00000F3D:0000040G\n", false, 0, 0},
        {"HID_ID=0003::00000402\n", false, 0, 0},
        {"HID_NAME=x\n", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        plat::hidraw::HidIdentity id;
        ASSERT_EQ(plat::hidraw::ParseUevent(c.text, &id), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(id.vendor, c.vendor);
        EXPECT_EQ(id.product, c.product);
    }
}

TEST(Discovery, NodeNamesAndDeviceLinks) {
    struct Name {
        const char* text;
        bool ok;
        unsigned number;
    };
    for (const Name& c :
         {Name{"hidraw0", true, 0}, Name{"hidraw17", true, 17}, Name{"hidraw", false, 0},
          Name{"hidraw01", false, 0}, Name{"hidraw1a", false, 0}, Name{"hidraw9999999", false, 0},
          Name{"Hidraw1", false, 0}, Name{"event3", false, 0}}) {
        unsigned n = 99;
        EXPECT_EQ(plat::hidraw::ParseHidrawName(c.text, &n), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(n, c.number) << c.text;
        }
    }

    // A char device is ours only when sysfs files it under the hidraw class.
    FakeTree tree;
    std::filesystem::create_directories(tree.sys() + "/dev/char");
    std::filesystem::create_directory_symlink(
        "../../devices/pci0/usb1/0003:0F3D:0402.0001/hidraw/hidraw4",
        tree.sys() + "/dev/char/242:4");
    std::filesystem::create_directory_symlink("../../devices/virtual/misc/hidraw5",
                                              tree.sys() + "/dev/char/10:5");
    unsigned n = 99;
    EXPECT_TRUE(plat::hidraw::HidrawNumberOfDevice(tree.sys(), makedev(242, 4), &n));
    EXPECT_EQ(n, 4u);
    EXPECT_FALSE(plat::hidraw::HidrawNumberOfDevice(tree.sys(), makedev(10, 5), &n));
    EXPECT_FALSE(plat::hidraw::HidrawNumberOfDevice(tree.sys(), makedev(1, 3), &n));
}

TEST(OpenFailures, ClassifiedAndExplained) {
    EXPECT_EQ(plat::ClassifyOpenError(EACCES), plat::OpenFailure::kPermissionDenied);
    EXPECT_EQ(plat::ClassifyOpenError(EPERM), plat::OpenFailure::kPermissionDenied);
    EXPECT_EQ(plat::ClassifyOpenError(ENOENT), plat::OpenFailure::kNotFound);
    EXPECT_EQ(plat::ClassifyOpenError(0), plat::OpenFailure::kNone);
    EXPECT_EQ(plat::ClassifyOpenError(EBUSY), plat::OpenFailure::kOther);

    const std::string text = plat::PermissionDeniedMessage("/dev/hidraw3", 0x04020F3D);
    for (const char* part : {"/dev/hidraw3",
                             "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0f3d\", "
                             "ATTRS{idProduct}==\"0402\", MODE=\"0660\", TAG+=\"uaccess\"",
                             "udevadm"}) {
        EXPECT_NE(text.find(part), std::string::npos) << "missing: " << part << "\nin:\n" << text;
    }

    FakeTree tree;
    auto driver = plat::MakeHidrawDriver(tree.sys(), tree.dev());
    struct Case {
        std::string path;
        plat::OpenFailure failure;
    };
    const std::string plainFile = tree.dev() + "/hidraw9";
    std::ofstream(plainFile) << "not a device";
    const Case cases[] = {
        {tree.node(4), plat::OpenFailure::kNotFound},  // unplugged
        {"", plat::OpenFailure::kNotFound},
        {plainFile, plat::OpenFailure::kNotFound},  // not a device node
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(driver->Open(c.path.c_str()), plat::InvalidHandle());
        EXPECT_EQ(driver->LastOpenFailure(), c.failure) << "errno " << driver->LastOpenError();
    }
    EXPECT_EQ(driver->Open(nullptr), plat::InvalidHandle());
}

}  // namespace
