// The hidraw driver: Windows' report lengths from report descriptors (and
// random descriptors that must never be read past their end: the buffers are
// exact-size heap blocks, so ASan sees the first byte beyond); discovery over
// a fake sysfs; and overlapped I/O over a SOCK_SEQPACKET stand-in for a node,
// with cancel, unplug and close while work is pending. Waits are on
// conditions with generous limits.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hidraw_driver.h"
#include "platform/posix/hidraw_descriptor.h"
#include "platform/posix/hidraw_sysfs.h"
#include "platform/sync.h"
#include "tests/hidraw/fake_hidraw.h"

namespace {

using hidraw_test::Bytes;
using hidraw_test::FakeTree;
using hidraw_test::kStickWithIds;
using plat::IoStart;
using plat::hidraw::DescriptorFacts;

constexpr std::uint32_t kGenerous = 30000;
constexpr const char* kStickId = "0003:00000F3D:00000402";

DescriptorFacts Parse(const Bytes& bytes) {
    // An exact-size copy: a vector's spare capacity would hide an overrun.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return plat::hidraw::ParseReportDescriptor(exact.get(), bytes.size());
}

// What the driver takes from a descriptor, in one line: "invalid" when it is
// refused, "ids" when reports are numbered, "controller" for a game
// controller, then usage page:usage, input/output/feature lengths and the
// ids of the input reports that reach the link.
std::string Facts(const DescriptorFacts& f) {
    char text[128];
    std::snprintf(text, sizeof text, "%s%s%s%X:%X %u/%u/%u", f.valid ? "" : "invalid ",
                  f.numbered ? "ids " : "", f.gameController ? "controller " : "", f.usagePage,
                  f.usage, f.inputLength, f.outputLength, f.featureLength);
    std::string out = text;
    for (std::size_t id = 0; id < f.inputIds.size(); ++id) {
        if (f.inputIds[id])
            out += (out.find(" in ") == std::string::npos ? " in " : ",") + std::to_string(id);
    }
    return out;
}

// A joystick application collection around body.
Bytes Wrap(const Bytes& body) {
    Bytes out = {0x05, 0x01, 0x09, 0x04, 0xA1, 0x01};
    out.insert(out.end(), body.begin(), body.end());
    out.push_back(0xC0);
    return out;
}

// Windows makes each top-level collection a device of its own: the lengths
// are those of the collection discovery matched (the first joystick or game
// pad, else the first application collection), whatever comes before or
// after it.
TEST(ReportDescriptor, WindowsLengthsAndIdentityOfTheMatchedCollection) {
    using hidraw_test::Joined;
    using hidraw_test::kConsumerCollection;
    // clang-format off
    const Bytes mouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x08, 0x95, 0x03,
                         0x81, 0x02, 0xC0};
    const Bytes keyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x02, 0x75, 0x08, 0x95, 0x08,
                            0x81, 0x02, 0x95, 0x01, 0x91, 0x02, 0xC0};
    // Without ids: a 6-byte joystick and a 64-byte vendor collection.
    const Bytes plainJoystick = Wrap({0x75, 0x08, 0x95, 0x06, 0x81, 0x02});
    const Bytes plainVendor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40,
                               0x81, 0x02, 0xB1, 0x02, 0xC0};
    // clang-format on
    const std::pair<Bytes, const char*> cases[] = {
        {kStickWithIds, "ids controller 1:4 16/9/0 in 1,2"},
        {hidraw_test::kStickWithoutIds, "controller 1:4 6/4/0 in 0"},
        {hidraw_test::kGamePad, "ids controller 1:5 3/0/3 in 3,4,6"},
        {hidraw_test::kKeyboard, "1:6 9/2/0 in 0"},
        // Multi-axis controllers are not game controllers.
        {{0x05, 0x01, 0x09, 0x08, 0xA1, 0x01, 0xC0}, "1:8 0/0/0"},
        // Usage Page after Usage applies to the collection that follows.
        {{0x09, 0x05, 0x05, 0x01, 0xA1, 0x01, 0xC0}, "controller 1:5 0/0/0"},
        // 8 x 65534 bits: the longest report whose length still fits 16 bits.
        {Wrap({0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02}), "controller 1:4 65535/0/0 in 0"},
        // Zero-sized items still make a report of the kind: just the id byte.
        {Wrap({0x75, 0x00, 0x95, 0x04, 0x91, 0x02}), "controller 1:4 0/1/0"},
        {Joined(kStickWithIds, kConsumerCollection), "ids controller 1:4 16/9/0 in 1,2"},
        {Joined(kConsumerCollection, kStickWithIds), "ids controller 1:4 16/9/0 in 1,2"},
        {kConsumerCollection, "ids C:1 101/0/0 in 3"},
        {Joined(mouse, keyboard), "ids 1:2 4/0/0 in 1"},
        {Joined(keyboard, mouse), "ids 1:6 9/2/0 in 2"},
        {Joined(mouse, Joined(kConsumerCollection, hidraw_test::kGamePad)),
         "ids controller 1:5 3/0/3 in 3,4,6"},
        {Joined(plainJoystick, plainVendor), "controller 1:4 7/0/0 in 0"},
        {Joined(plainVendor, plainJoystick), "controller 1:4 7/0/0 in 0"},
    };
    for (const auto& [descriptor, expected] : cases) {
        EXPECT_EQ(Facts(Parse(descriptor)), expected) << testing::PrintToString(descriptor);
    }
}

TEST(ReportDescriptor, BrokenOnesAreRefused) {
    const int depth = plat::hidraw::kMaxCollectionDepth + 1,
              pushes = plat::hidraw::kMaxPushDepth + 1;
    Bytes deep(depth, 0xC0), pushed(pushes, 0xB4);
    for (int i = 0; i < depth; ++i) deep.insert(deep.begin(), {0xA1, 0x01});
    pushed.insert(pushed.begin(), pushes, 0xA4);

    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"truncated item", hidraw_test::kTruncated},
        {"truncated long item header", {0xA1, 0x01, 0xC0, 0xFE, 0x05}},
        {"truncated long item data", {0xA1, 0x01, 0xC0, 0xFE, 0x05, 0x00, 0x01, 0x02}},
        {"end without collection", {0xA1, 0x01, 0xC0, 0xC0}},
        {"pop without push", Wrap({0xB4})},
        {"report id 0", Wrap({0x85, 0x00})},
        {"report id 256", Wrap({0x86, 0x00, 0x01})},
        {"collections too deep", deep},
        {"pushes too deep", Wrap(pushed)},
        {"one byte too long", Wrap({0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02})},
        {"size x count overflows 32 bits",
         Wrap({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02})},
        {"sum too long", Wrap({0x75, 0x08, 0x96, 0x00, 0x80, 0x81, 0x02, 0x81, 0x02})},
    };
    for (const auto& [name, descriptor] : cases) {
        const DescriptorFacts f = Parse(descriptor);
        EXPECT_FALSE(f.valid || f.gameController) << name << ": " << Facts(f);
    }
}

TEST(Discovery, ControllersInNumberOrderWithIdentityAndPath) {
    FakeTree tree;
    // hidraw numbers chosen so that text order (10 < 2) differs from number order.
    tree.Add(2, kStickId, kStickWithIds);
    tree.Add(10, "0003:0000045E:0000028E", hidraw_test::kGamePad);
    tree.Add(0, "0005:0000abcd:0000EF01", hidraw_test::kStickWithoutIds);
    tree.Add(1, "0003:0000046D:0000C31C", hidraw_test::kKeyboard);
    tree.Add(3, kStickId, hidraw_test::kTruncated);
    tree.Add(4, kStickId, Bytes{0xA1, 0x01, 0xC0, 0xC0});
    // Controllers whose identity cannot be read: a vendor beyond 16 bits must
    // not pass for another one, and no id must not pass for zero.
    unsigned n = 20;
    for (const char* id : {"0003:00010F3D:00000402", "0003:000000F3D:00000402", "0003:00000F3D",
                           "0003:00000F3D:0000040G", "0003::00000402", "bogus"})
        tree.Add(n++, id, kStickWithIds);
    tree.AddEntry(6, nullptr, &kStickWithIds);  // no uevent
    tree.AddNode(6);
    tree.AddEntry(7, kStickId, &kStickWithIds);  // no node
    tree.AddEntry(8, kStickId, nullptr);         // no descriptor
    tree.AddNode(8);

    const std::pair<std::uint32_t, unsigned> expected[] = {
        {0xEF01ABCD, 0}, {0x04020F3D, 2}, {0x028E045E, 10}};
    const auto listed = plat::ListHidrawControllers(tree.sys(), tree.dev());
    ASSERT_EQ(listed.size(), std::size(expected));
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].vidPid, expected[i].first) << std::hex << "entry " << i;
        EXPECT_EQ(listed[i].path, tree.node(expected[i].second)) << "entry " << i;
        EXPECT_EQ(listed[i].name, "Test Stick") << "entry " << i;
    }
    EXPECT_EQ(listed[1].inputReportLength, 16);
    EXPECT_EQ(listed[1].outputReportLength, 9);
    EXPECT_TRUE(plat::ListHidrawControllers("/nonexistent-sysfs", "/nonexistent-dev").empty());
}

TEST(Discovery, SerialAndPortComeFromHidUniqAndHidPhys) {
    hidraw_test::FakeTree tree;
    tree.Add(2, "0003:00000F3D:00000402", hidraw_test::kStickWithIds);
    tree.Add(5, "0003:00000F3D:00000402", hidraw_test::kStickWithIds);
    std::ofstream(tree.sys() + "/class/hidraw/hidraw5/device/uevent")
        << "HID_ID=0003:00000F3D:00000402\nHID_NAME=Kx9\nHID_PHYS=usb-0000:00:14.0-2/input0\n"
           "HID_UNIQ=A1B2C3\n";
    const auto found = plat::ListHidrawControllers(tree.sys(), tree.dev());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].serial + found[0].port, "");
    EXPECT_EQ(found[1].serial, "A1B2C3");
    EXPECT_EQ(found[1].port, "usb-0000:00:14.0-2/input0");
}

// A manual-reset event bound to a completion record, as the link uses them.
struct Op {
    ~Op() { plat::CloseHandle(event); }
    // The record made ready for the next operation.
    plat::IoRecord* Arm() { return &(io = plat::IoRecord{{}, event}); }
    bool Done(std::uint32_t ms = 0) const {
        return plat::WaitForSingleObject(event, ms) == plat::kWaitObject0;
    }
    plat::Handle event = plat::NewEvent(true);
    plat::IoRecord io;
    std::uint32_t count = 0;
};

// One open device on a fake node, the test holding the device's end.
struct Link {
    explicit Link(const Bytes& descriptor) {
        const int listener = tree.Add(0, kStickId, descriptor);
        handle = driver->Open(tree.node(0).c_str());
        EXPECT_NE(handle, plat::InvalidHandle()) << "errno " << driver->LastOpenError();
        peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    }
    ~Link() {
        if (handle != plat::InvalidHandle()) driver->Close(handle);
        ::close(peer);
    }
    void Send(const Bytes& r) const {
        ASSERT_EQ(::send(peer, r.data(), r.size(), MSG_NOSIGNAL), static_cast<ssize_t>(r.size()));
    }
    // The next report the driver wrote; empty if none came.
    Bytes Receive(int ms = kGenerous) const {
        pollfd p{peer, POLLIN, 0};
        Bytes buffer(4096);
        const ssize_t n = ::poll(&p, 1, ms) == 1 ? ::recv(peer, buffer.data(), 4096, 0) : 0;
        buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buffer;
    }
    static std::uint32_t Len(const Bytes& b) { return static_cast<std::uint32_t>(b.size()); }
    IoStart Read(Bytes& b, Op& o) const { return driver->Read(handle, b.data(), Len(b), o.Arm()); }
    IoStart Write(const Bytes& b, Op& op) const {
        return driver->Write(handle, b.data(), Len(b), op.Arm());
    }
    bool Result(Op& op) const { return driver->GetResult(handle, &op.io, &op.count); }

    FakeTree tree;
    std::unique_ptr<plat::HidrawDriver> driver = plat::MakeHidrawDriver(tree.sys(), tree.dev());
    plat::Handle handle = plat::InvalidHandle();
    int peer = -1;
};

// Without report ids a 0 id byte goes in front of what is read, and a short
// report is padded to the input length (as Windows does, not left at 0xEE);
// the 0 in front of what is written goes out, for hidraw to strip.
TEST(HidrawIo, ReportsCrossAtWindowsOffsets) {
    Link link(hidraw_test::kStickWithoutIds);
    Op r, w;
    plat::SetEvent(r.event);
    Bytes buffer(6, 0xEE);
    ASSERT_EQ(link.Read(buffer, r), IoStart::kPending);
    EXPECT_FALSE(link.Result(r)) << "done before any report";
    EXPECT_FALSE(r.Done()) << "starting a read must reset its event";
    link.Send({0x1F, 0x34});
    ASSERT_TRUE(r.Done(kGenerous) && link.Result(r));
    EXPECT_EQ(r.count, 6u);
    EXPECT_EQ(buffer, (Bytes{0, 0x1F, 0x34, 0, 0, 0}));

    const Bytes written = {0, 0x11, 0x22, 0x33};
    ASSERT_NE(link.Write(written, w), IoStart::kFailed);
    ASSERT_TRUE(w.Done(kGenerous) && link.Result(w));
    EXPECT_EQ(w.count, 4u);
    EXPECT_EQ(link.Receive(), written);
    buffer.pop_back();
    EXPECT_EQ(link.Read(buffer, r), IoStart::kFailed) << "a buffer short of the input report";
}

// On a stick that is two devices on Windows the link sees the joystick's
// device only: its input length, and none of the other collection's reports.
TEST(HidrawIo, OnlyTheMatchedCollectionsInputReportsReachTheLink) {
    Link link(hidraw_test::Joined(kStickWithIds, hidraw_test::kConsumerCollection));
    Bytes consumer(101, 0x33), joystick(16, 0x11), reply(16, 0x22);
    consumer[0] = 3;
    joystick[0] = 1;
    reply[0] = 2;
    for (const Bytes& report : {consumer, joystick, consumer, reply}) link.Send(report);
    for (const Bytes& expected : {joystick, reply}) {
        Op op;
        Bytes buffer(16, 0xEE);
        ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
        ASSERT_TRUE(op.Done(kGenerous) && link.Result(op));
        EXPECT_EQ(op.count, 16u);
        EXPECT_EQ(buffer, expected);
    }
}

// Reports racing with Cancel: Cancel returns with the read complete, and each
// report reaches exactly one read, in order: the cancelled one if it
// completed first, else the next one. A cancelled read leaves its buffer be.
TEST(HidrawIo, ReportsRacingCancelReachExactlyOneRead) {
    Link link(kStickWithIds);
    for (int k = 0; k < 20000; ++k) {
        Op op, next;
        const auto lo = static_cast<std::uint8_t>(k), hi = static_cast<std::uint8_t>(k >> 8);
        const Bytes report = {1, 0, 0, 0, 0, 0, 0, 0, lo, hi, 0, 0, 0, 0, 0, 0};
        Bytes buffer(16, 0);
        ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
        link.Send(report);
        // Sweep the moment of the cancel across the I/O thread's read, so
        // some cancels land after the report left the node but before it
        // reached the read.
        for (volatile int spin = 0; spin < (k * 7919) % 1500;) spin = spin + 1;
        link.driver->Cancel(link.handle, &op.io);
        ASSERT_TRUE(op.Done()) << "Cancel returned with the read pending";
        if (!link.Result(op)) {
            ASSERT_EQ(buffer, Bytes(16, 0)) << "the cancelled read wrote its buffer";
            ASSERT_EQ(link.Read(buffer, next), IoStart::kPending);
            ASSERT_TRUE(next.Done(kGenerous) && link.Result(next)) << "report " << k << " lost";
        }
        ASSERT_EQ(buffer, report) << "report " << k;
    }
}

// Close completes what is pending before it returns; a device that goes away
// (its socket closed, or a character device at the end of its stream) fails
// what is pending and what follows. None of it writes the read's buffer.
TEST(HidrawIo, CloseAndUnplugCompletePendingWorkAndOpenFailsWhenGone) {
    Bytes buffer(16, 0xEE);
    Op op, again;
    {
        Link link(kStickWithIds);
        ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
        EXPECT_TRUE(link.driver->Close(link.handle));
        EXPECT_TRUE(op.Done()) << "Close returned with a read pending";
        link.handle = plat::InvalidHandle();
    }
    Link link(kStickWithIds);
    ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
    ::close(link.peer);
    ASSERT_TRUE(op.Done(kGenerous)) << "the pending read never completed";
    EXPECT_FALSE(link.Result(op));
    EXPECT_EQ(link.Read(buffer, again), IoStart::kFailed);
    EXPECT_EQ(link.Write(buffer, again), IoStart::kFailed);

    // Opening what is not there, or not a device node, fails as not found.
    const std::string plainFile = link.tree.dev() + "/hidraw9";
    std::ofstream(plainFile) << "not a device";
    for (const std::string& path : {link.tree.node(4), std::string(), plainFile}) {
        EXPECT_EQ(link.driver->Open(path.c_str()), plat::InvalidHandle()) << path;
        EXPECT_EQ(link.driver->LastOpenFailure(), plat::OpenFailure::kNotFound)
            << path << ": errno " << link.driver->LastOpenError();
    }
    EXPECT_EQ(link.driver->Open(nullptr), plat::InvalidHandle());

    // /dev/null (1:3) stands in for a renamed node: it takes its descriptor
    // from sysfs through its device numbers, but only when sysfs files them
    // under the hidraw class, so no other driver is sent hidraw's requests.
    const std::string link13 = link.tree.sys() + "/dev/char/1:3";
    std::filesystem::create_directories(link.tree.sys() + "/dev/char");
    for (const std::string dir : {"misc", "hidraw"}) {
        std::filesystem::remove(link13);
        std::filesystem::create_directory_symlink("../../devices/virtual/" + dir + "/hidraw0",
                                                  link13);
        link.driver->Close(link.handle);
        link.handle = link.driver->Open("/dev/null");
        plat::PreparsedData data = nullptr;
        const bool found = link.driver->GetPreparsedData(link.handle, &data);
        EXPECT_EQ(found, dir == "hidraw") << dir;
        if (found) link.driver->FreePreparsedData(data);
    }
    ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
    ASSERT_TRUE(op.Done(kGenerous));
    EXPECT_FALSE(link.Result(op)) << "end of stream taken for a report";
    EXPECT_EQ(buffer, Bytes(16, 0xEE)) << "a failed read wrote its buffer";
}

// Writes to a device that stops reading: one stays pending; Cancel completes
// it before returning, each write is reported done exactly when the device
// got it, and writing resumes once the device reads again.
TEST(HidrawIo, WriteThatCannotGoOutIsCancelledCleanly) {
    Link link(kStickWithIds);
    const Bytes report = {1, 3, 110, 5, 0, 0, 0, 0, 0};
    int reportedDone = 0;
    bool blocked = false;
    for (int i = 0; i < 20000 && !blocked; ++i) {
        Op op;
        ASSERT_NE(link.Write(report, op), IoStart::kFailed);
        // Only a socket that is full keeps a write this long.
        if ((blocked = !op.Done(2000))) {
            link.driver->Cancel(link.handle, &op.io);
            EXPECT_TRUE(op.Done()) << "Cancel returned with the write pending";
        }
        reportedDone += link.Result(op);
    }
    ASSERT_TRUE(blocked) << "the socket never pushed back";
    int received = 0;
    while (!link.Receive(0).empty()) ++received;
    EXPECT_EQ(received, reportedDone);

    Op op;
    ASSERT_NE(link.Write(report, op), IoStart::kFailed);
    ASSERT_TRUE(op.Done(kGenerous)) << "writing did not resume";
    EXPECT_EQ(link.Receive(), report);
}

}  // namespace
