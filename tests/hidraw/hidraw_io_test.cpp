// Overlapped I/O over a SOCK_SEQPACKET stand-in for a hidraw node: report
// offsets as Windows hands them over, whole writes, cancel, unplug, close
// with work pending, and a reader loop shaped like the link's under load.
// Waits are on conditions with generous limits; nothing here is timed.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hidraw_driver.h"
#include "platform/sync.h"
#include "tests/hidraw/fake_tree.h"

namespace {

using hidraw_test::Bytes;
using hidraw_test::FakeTree;
using plat::Handle;
using plat::IoStart;

constexpr std::uint32_t kGenerous = 30000;

// A manual-reset event bound to a completion record, as the link uses them.
struct Op {
    Op() { Rearm(); }
    ~Op() { plat::CloseHandle(event); }
    void Rearm() {
        io.Reset();
        io.hEvent = event;
    }
    bool Signalled(std::uint32_t ms = 0) const {
        return plat::WaitForSingleObject(event, ms) == plat::kWaitObject0;
    }
    Handle event = plat::NewEvent(true);
    plat::IoRecord io;
};

// One open device on a fake node, with the test holding the device's end.
class Link {
  public:
    explicit Link(const Bytes& descriptor) {
        const std::string uevent = FakeTree::Uevent("0003:00000F3D:00000402");
        tree.AddEntry(0, &uevent, &descriptor);
        const int listener = tree.AddNode(0);
        driver = plat::MakeHidrawDriver(tree.sys(), tree.dev());
        handle = driver->Open(tree.node(0).c_str());
        EXPECT_NE(handle, plat::InvalidHandle()) << "errno " << driver->LastOpenError();
        peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        EXPECT_GE(peer, 0);
    }
    ~Link() {
        if (handle != plat::InvalidHandle()) driver->Close(handle);
        if (peer >= 0) ::close(peer);
    }

    void Send(const Bytes& report) const {
        ASSERT_EQ(::send(peer, report.data(), report.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(report.size()));
    }
    // The next report the driver wrote; empty if none came.
    Bytes Receive(int ms = kGenerous) const {
        pollfd p{peer, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return {};
        Bytes buffer(4096);
        const ssize_t n = ::recv(peer, buffer.data(), buffer.size(), MSG_DONTWAIT);
        buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buffer;
    }
    IoStart Read(Bytes& buffer, Op& op) const {
        return driver->Read(handle, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                            &op.io);
    }
    IoStart Write(const Bytes& report, Op& op) const {
        return driver->Write(handle, report.data(), static_cast<std::uint32_t>(report.size()),
                             &op.io);
    }
    bool Result(Op& op, std::uint32_t* count = nullptr) const {
        std::uint32_t ignored;
        return driver->GetResult(handle, &op.io, count != nullptr ? count : &ignored);
    }
    void Cancel(Op& op) const { driver->Cancel(handle, &op.io); }
    void Unplug() {
        ::close(peer);
        peer = -1;
    }

    FakeTree tree;
    std::unique_ptr<plat::HidrawDriver> driver;
    Handle handle = plat::InvalidHandle();
    int peer = -1;
};

TEST(HidrawIo, CapsAndAttributesOfTheOpenDevice) {
    Link link(hidraw_test::kStickWithIds);
    plat::HidDriver& d = *link.driver;
    plat::HidAttributes attributes;
    ASSERT_TRUE(d.GetAttributes(link.handle, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x0F3D);
    EXPECT_EQ(attributes.ProductID, 0x0402);

    plat::PreparsedData data = nullptr;
    ASSERT_TRUE(d.GetPreparsedData(link.handle, &data));
    plat::HidCaps caps;
    ASSERT_TRUE(d.GetCaps(data, &caps));
    EXPECT_EQ(caps.UsagePage, 1);
    EXPECT_EQ(caps.Usage, 4);
    EXPECT_EQ(caps.InputReportByteLength, 16);
    EXPECT_EQ(caps.OutputReportByteLength, 9);
    d.FreePreparsedData(data);

    plat::HidCaps untouched;
    untouched.InputReportByteLength = 77;
    int notPreparsed = 0;
    EXPECT_FALSE(d.GetCaps(data, &untouched)) << "freed data still answers";
    EXPECT_FALSE(d.GetCaps(&notPreparsed, &untouched));
    EXPECT_FALSE(d.GetCaps(nullptr, &untouched));
    EXPECT_EQ(untouched.InputReportByteLength, 77);
    d.FreePreparsedData(&notPreparsed);  // ignored, not freed

    Link broken(hidraw_test::Truncated());
    EXPECT_FALSE(broken.driver->GetPreparsedData(broken.handle, &data));
}

TEST(HidrawIo, ReportsArriveAtWindowsOffsets) {
    Bytes full(16);
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint8_t>(0x10 + i);
    full[0] = 1;
    struct Case {
        const char* name;
        const Bytes& descriptor;
        Bytes sent;
        Bytes expected;  // the whole buffer afterwards
    };
    const Case cases[] = {
        {"numbered, longest report", hidraw_test::kStickWithIds, full, full},
        // Padded to the input length, as Windows does, not left at 0xEE.
        {"numbered, shorter report",
         hidraw_test::kStickWithIds,
         {2, 0xA1, 0xA2, 0xA3, 0xA4},
         {2, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"no ids: a 0 id byte in front",
         hidraw_test::kStickWithoutIds,
         {0x1F, 0x34, 0x12, 0xCD, 0xAB},
         {0, 0x1F, 0x34, 0x12, 0xCD, 0xAB}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Link link(c.descriptor);
        Op op;
        plat::SetEvent(op.event);
        Bytes buffer(c.expected.size(), 0xEE);
        ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
        EXPECT_FALSE(link.Result(op)) << "done before any report";
        EXPECT_FALSE(op.Signalled()) << "starting a read must reset its event";
        link.Send(c.sent);
        ASSERT_TRUE(op.Signalled(kGenerous));
        std::uint32_t count = 0;
        ASSERT_TRUE(link.Result(op, &count));
        EXPECT_EQ(count, c.expected.size());
        EXPECT_EQ(buffer, c.expected);
    }

    Link link(hidraw_test::kStickWithIds);
    Op op;
    Bytes small(15);
    EXPECT_EQ(link.Read(small, op), IoStart::kFailed) << "a buffer shorter than the input report";
}

TEST(HidrawIo, WritesGoOutWholeWithTheirIdByte) {
    struct Case {
        const char* name;
        const Bytes& descriptor;
        Bytes report;
    };
    const Case cases[] = {
        {"numbered", hidraw_test::kStickWithIds, {1, 4, 110, 0x80, 0, 0, 0, 0, 0}},
        // hidraw wants the 0 in front and strips it itself.
        {"no ids", hidraw_test::kStickWithoutIds, {0, 0x11, 0x22, 0x33}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Link link(c.descriptor);
        Op op;
        ASSERT_NE(link.Write(c.report, op), IoStart::kFailed);
        ASSERT_TRUE(op.Signalled(kGenerous));
        std::uint32_t count = 0;
        ASSERT_TRUE(link.Result(op, &count));
        EXPECT_EQ(count, c.report.size());
        EXPECT_EQ(link.Receive(), c.report);
    }
}

TEST(HidrawIo, CancelledReadLeavesItsBufferAndLosesNoReport) {
    Link link(hidraw_test::kStickWithIds);
    Op op, unused;
    Bytes buffer(16, 0xEE);
    ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
    link.Cancel(op);
    EXPECT_TRUE(op.Signalled()) << "a cancelled read completes before Cancel returns";
    EXPECT_FALSE(link.Result(op));
    link.Cancel(op);  // nothing pending: harmless
    link.Cancel(unused);

    Bytes report(16, 0x5A);
    report[0] = 1;
    link.Send(report);
    Bytes next(16, 0);
    ASSERT_EQ(link.Read(next, op), IoStart::kPending);
    ASSERT_TRUE(op.Signalled(kGenerous));
    EXPECT_TRUE(link.Result(op));
    EXPECT_EQ(next, report);
    EXPECT_EQ(buffer, Bytes(16, 0xEE)) << "the cancelled read's buffer was written";
}

// Reports racing with Cancel: each must reach exactly one read, in order,
// either the cancelled one (it completed first) or the next one.
TEST(HidrawIo, ReportsRacingCancelReachExactlyOneRead) {
    Link link(hidraw_test::kStickWithIds);
    for (int k = 0; k < 20000; ++k) {
        Op op;
        Bytes buffer(16, 0);
        ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
        Bytes report(16, 0);
        report[0] = 1;
        report[8] = static_cast<std::uint8_t>(k);
        report[9] = static_cast<std::uint8_t>(k >> 8);
        link.Send(report);
        // Sweep the moment of the cancel across the I/O thread's read, so
        // some cancels land after the report left the node but before it
        // reached the read.
        for (volatile int spin = 0; spin < (k * 7919) % 1500;) spin = spin + 1;
        link.Cancel(op);
        if (!link.Result(op)) {
            op.Rearm();
            ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
            ASSERT_TRUE(op.Signalled(kGenerous)) << "report " << k << " was lost";
            ASSERT_TRUE(link.Result(op));
        }
        ASSERT_EQ(buffer, report) << "report " << k;
    }
}

TEST(HidrawIo, UnpluggedDeviceFailsPendingAndNewOperations) {
    Link link(hidraw_test::kStickWithIds);
    Op op, again;
    Bytes buffer(16, 0xEE);
    ASSERT_EQ(link.Read(buffer, op), IoStart::kPending);
    link.Unplug();
    ASSERT_TRUE(op.Signalled(kGenerous)) << "the pending read never completed";
    EXPECT_FALSE(link.Result(op));
    EXPECT_EQ(buffer, Bytes(16, 0xEE)) << "a failed read keeps the previous report";
    EXPECT_EQ(link.Read(buffer, again), IoStart::kFailed);
    EXPECT_EQ(link.Write(buffer, again), IoStart::kFailed);

    EXPECT_TRUE(link.driver->Close(link.handle));
    EXPECT_FALSE(link.driver->Close(link.handle)) << "closed twice";
    EXPECT_EQ(link.Read(buffer, again), IoStart::kFailed) << "read on a closed handle";
    link.handle = plat::InvalidHandle();
}

TEST(HidrawIo, CharacterDeviceThatEndsItsStreamCountsAsGone) {
    // /dev/null opens like a node, takes writes and reads as end of stream.
    Link link(hidraw_test::kStickWithIds);
    link.driver->Close(link.handle);
    link.handle = link.driver->Open("/dev/null");
    ASSERT_NE(link.handle, plat::InvalidHandle()) << "errno " << link.driver->LastOpenError();
    plat::PreparsedData data;
    EXPECT_FALSE(link.driver->GetPreparsedData(link.handle, &data)) << "no descriptor to be had";
    Op w, r;
    const Bytes report = {1, 3, 110, 5, 1, 2, 3, 4, 5};
    ASSERT_NE(link.Write(report, w), IoStart::kFailed);
    ASSERT_TRUE(w.Signalled(kGenerous));
    std::uint32_t count = 0;
    EXPECT_TRUE(link.Result(w, &count));
    EXPECT_EQ(count, 9u);

    Bytes buffer(16);
    ASSERT_EQ(link.Read(buffer, r), IoStart::kPending);
    ASSERT_TRUE(r.Signalled(kGenerous));
    EXPECT_FALSE(link.Result(r));
    EXPECT_EQ(link.Read(buffer, r), IoStart::kFailed);
    link.driver->Close(link.handle);

    // Under another name, a node is still found in sysfs through its device
    // numbers (1:3 for /dev/null) and takes its descriptor from there.
    std::filesystem::create_directories(link.tree.sys() + "/dev/char");
    std::filesystem::create_directory_symlink("../../devices/virtual/hidraw/hidraw0",
                                              link.tree.sys() + "/dev/char/1:3");
    link.handle = link.driver->Open("/dev/null");
    ASSERT_TRUE(link.driver->GetPreparsedData(link.handle, &data));
    plat::HidCaps caps;
    EXPECT_TRUE(link.driver->GetCaps(data, &caps));
    EXPECT_EQ(caps.InputReportByteLength, 16);
    link.driver->FreePreparsedData(data);
}

// Writes to a device that stops reading: one stays pending; cancelling it
// completes it before returning, each write is reported done exactly when
// the device got it, and writing resumes once the device reads again.
TEST(HidrawIo, WriteThatCannotGoOutIsCancelledCleanly) {
    Link link(hidraw_test::kStickWithIds);
    const Bytes report = {1, 3, 110, 5, 0, 0, 0, 0, 0};
    int reportedDone = 0;
    bool blocked = false;
    for (int i = 0; i < 20000 && !blocked; ++i) {
        Op op;
        ASSERT_NE(link.Write(report, op), IoStart::kFailed);
        // Only a socket that is full keeps a write this long.
        if (!op.Signalled(2000)) {
            blocked = true;
            link.Cancel(op);
            EXPECT_TRUE(op.Signalled()) << "Cancel returned with the write still pending";
        }
        if (link.Result(op)) ++reportedDone;
    }
    ASSERT_TRUE(blocked) << "the socket never pushed back";

    int received = 0;
    while (!link.Receive(0).empty()) ++received;
    EXPECT_EQ(received, reportedDone);

    Op op;
    ASSERT_NE(link.Write(report, op), IoStart::kFailed);
    ASSERT_TRUE(op.Signalled(kGenerous)) << "writing did not resume";
    EXPECT_EQ(link.Receive(), report);
}

TEST(HidrawIo, CloseCompletesEverythingPending) {
    Link link(hidraw_test::kStickWithIds);
    Op r, w;
    Bytes buffer(16, 0xEE);
    ASSERT_EQ(link.Read(buffer, r), IoStart::kPending);
    const Bytes report = {1, 4, 110, 0x80, 0, 0, 0, 0, 0};  // the driver's until Close
    ASSERT_NE(link.Write(report, w), IoStart::kFailed);
    EXPECT_TRUE(link.driver->Close(link.handle));
    link.handle = plat::InvalidHandle();
    EXPECT_TRUE(r.Signalled()) << "Close returned with a read pending";
    EXPECT_TRUE(w.Signalled()) << "Close returned with a write pending";
    EXPECT_EQ(buffer, Bytes(16, 0xEE));
}

// The link's reader loop (read, wait for stop or report, collect) against a
// device streaming reports while the other thread writes requests: every
// report is seen once and in order, and a stop ends the loop at once.
TEST(HidrawIo, ReaderLoopSeesEveryReportInOrder) {
    Link link(hidraw_test::kStickWithIds);
    constexpr int kReports = 3000;
    constexpr int kRequests = 100;
    const Handle stop = plat::NewEvent(false);
    std::atomic<int> seen{0};
    std::atomic<int> outOfOrder{-1};

    std::thread reader([&] {
        Op op;
        Bytes buffer(16);
        const Handle waits[2] = {stop, op.event};
        for (int expected = 0; link.Read(buffer, op) == IoStart::kPending;) {
            if (plat::WaitForMultipleObjects(2, waits, plat::kInfinite) != plat::kWaitObject0 + 1) {
                link.Cancel(op);
                break;
            }
            if (!link.Result(op)) continue;
            const int value = buffer[8] | buffer[9] << 8;
            if (value != expected && outOfOrder.load() < 0) outOfOrder.store(value);
            expected = value + 1;
            seen.store(expected);
        }
    });
    std::thread device([&] {
        Bytes report(16, 0);
        report[0] = 1;
        for (int k = 0; k < kReports; ++k) {
            report[8] = static_cast<std::uint8_t>(k);
            report[9] = static_cast<std::uint8_t>(k >> 8);
            // Blocks while the socket is full: the device keeps its pace.
            ::send(link.peer, report.data(), report.size(), MSG_NOSIGNAL);
        }
    });

    Bytes request = {1, 4, 110, 0x80, 0, 0, 0, 0, 0};
    int written = 0;
    for (int i = 0; i < kRequests; ++i) {
        Op op;
        request[2] = static_cast<std::uint8_t>(i);
        if (link.Write(request, op) == IoStart::kFailed) continue;
        if (!op.Signalled(kGenerous)) link.Cancel(op);
        if (link.Result(op)) ++written;
    }
    device.join();
    for (std::uint32_t i = 0; i < kGenerous / 10 && seen.load() < kReports; ++i) plat::Sleep(10);
    plat::SetEvent(stop);
    reader.join();
    plat::CloseHandle(stop);

    EXPECT_EQ(seen.load(), kReports);
    EXPECT_EQ(outOfOrder.load(), -1) << "a report was skipped or repeated";
    EXPECT_EQ(written, kRequests);
    int received = 0;
    while (!link.Receive(0).empty()) ++received;
    EXPECT_EQ(received, written);
}

}  // namespace
