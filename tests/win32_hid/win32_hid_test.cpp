// The Windows HID driver against the real OS: DirectInput discovery with no
// controller attached, and the overlapped report I/O against a message-mode
// named pipe standing in for the device file (each message one report).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hid.h"
#include "platform/sync.h"
#include "platform/win32_hid_driver.h"

namespace {

using plat::IoStart;

// Long enough never to be reached on a loaded machine; only a hang hits it.
constexpr DWORD kGenerous = 30000;

plat::HidDriver& hid = plat::Win32Hid();

std::vector<std::uint8_t> Report(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> report(length);
    for (std::size_t i = 0; i < length; ++i) report[i] = static_cast<std::uint8_t>(seed + i * 7);
    return report;
}

// A record bound to a manual-reset event of its own, as the link uses them.
struct Record {
    Record() { io.hEvent = plat::NewEvent(true); }
    ~Record() { plat::CloseHandle(io.hEvent); }
    bool Signalled(DWORD limit = kGenerous) {
        return plat::WaitForSingleObject(io.hEvent, limit) == plat::kWaitObject0;
    }
    bool Completed() { return HasOverlappedIoCompleted(reinterpret_cast<OVERLAPPED*>(io.opaque)); }
    plat::IoRecord io{};
};

// The device file's stand-in: the server end is the "device" (its own I/O
// blocking, but only ever for what is already there), the client end is
// opened through the driver exactly as a device path would be.
struct PipeDevice {
    PipeDevice() {
        const std::string name =
            "\\\\.\\pipe\\kx9-hid-test-" + std::to_string(GetCurrentProcessId());
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                  4096, 0, nullptr);
        client = hid.Open(name.c_str());
        // A HID read returns one report; message read mode gives the same.
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
    }
    ~PipeDevice() {
        hid.Close(client);
        CloseHandle(server);
    }
    bool Send(const std::vector<std::uint8_t>& report) {
        DWORD count = 0;
        return WriteFile(server, report.data(), DWORD(report.size()), &count, nullptr) &&
               count == report.size();
    }
    std::vector<std::uint8_t> Receive() {
        std::vector<std::uint8_t> data(4096);
        DWORD count = 0;
        ReadFile(server, data.data(), DWORD(data.size()), &count, nullptr);
        data.resize(count);
        return data;
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    plat::Handle client = plat::InvalidHandle();
};

TEST(Discovery, NoControllerAttachedGivesNoCallbacks) {
    plat::InputSystem* system = nullptr;
    ASSERT_TRUE(hid.CreateInputSystem(&system));
    int seen = 0;
    system->EnumDevices(
        [](const plat::DeviceInstance*, void* context) {
            ++*static_cast<int*>(context);
            return plat::kDienumContinue;
        },
        &seen);
    EXPECT_EQ(seen, 0);
    system->Release();
}

TEST(DeviceFile, PathsThatDoNotOpenGiveTheInvalidHandle) {
    for (const char* path :
         {"\\\\?\\hid#vid_0000&pid_0000#0#{4d1e55b2-f16f-11cf-88cb-001111000030}", "",
          static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(hid.Open(path), plat::InvalidHandle()) << (path ? path : "null");
    }
}

TEST(Reports, CancelledReadEndsAtOnceAndTheNextCompletesWhenTheDeviceSends) {
    PipeDevice device;
    ASSERT_NE(device.client, plat::InvalidHandle());
    Record cancelled, next, idle;
    std::vector<std::uint8_t> old(16, 0xEE), fresh(16, 0);
    std::uint32_t count = 99;
    ASSERT_EQ(hid.Read(device.client, old.data(), 16, &cancelled.io), IoStart::kPending);
    hid.Cancel(device.client, &cancelled.io);
    EXPECT_TRUE(cancelled.Completed()) << "Cancel returned with the read still pending";
    EXPECT_FALSE(hid.GetResult(device.client, &cancelled.io, &count));

    // The next read waits for the next report, which never lands in the
    // cancelled buffer.
    ASSERT_EQ(hid.Read(device.client, fresh.data(), 16, &next.io), IoStart::kPending);
    EXPECT_FALSE(hid.GetResult(device.client, &next.io, &count)) << "reported done early";
    EXPECT_FALSE(next.Signalled(0));
    const auto report = Report(16, 0x70);
    ASSERT_TRUE(device.Send(report));
    ASSERT_TRUE(next.Signalled());
    ASSERT_TRUE(hid.GetResult(device.client, &next.io, &count));
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(fresh, report);
    EXPECT_EQ(old, std::vector<std::uint8_t>(16, 0xEE));
    // Cancelling what has already finished, or what never started, returns.
    hid.Cancel(device.client, &next.io);
    hid.Cancel(device.client, &idle.io);
}

TEST(Reports, WritesArriveAsWholeReports) {
    PipeDevice device;
    ASSERT_NE(device.client, plat::InvalidHandle());
    for (std::size_t length : {5u, 9u, 12u, 22u, 64u, 259u}) {
        const auto report = Report(length, static_cast<std::uint8_t>(length));
        Record r;
        ASSERT_NE(hid.Write(device.client, report.data(), std::uint32_t(length), &r.io),
                  IoStart::kFailed);
        ASSERT_TRUE(r.Signalled()) << length;
        std::uint32_t count = 0;
        ASSERT_TRUE(hid.GetResult(device.client, &r.io, &count)) << length;
        EXPECT_EQ(count, length);
        EXPECT_EQ(device.Receive(), report);
    }
}

// A refused operation leaves nothing pending, so a cancel must not wait for
// a completion that never comes.
TEST(Reports, UnpluggedDeviceFailsAtOnceAndLeavesNothingPending) {
    PipeDevice device;
    CloseHandle(device.server);
    device.server = INVALID_HANDLE_VALUE;
    std::vector<std::uint8_t> buffer(16, 0);
    for (const bool write : {false, true}) {
        Record r;
        EXPECT_EQ(write ? hid.Write(device.client, buffer.data(), 16, &r.io)
                        : hid.Read(device.client, buffer.data(), 16, &r.io),
                  IoStart::kFailed);
        hid.Cancel(device.client, &r.io);
        EXPECT_TRUE(r.Completed());
        EXPECT_FALSE(hid.GetResult(device.client, &r.io, nullptr));
    }
}

}  // namespace
