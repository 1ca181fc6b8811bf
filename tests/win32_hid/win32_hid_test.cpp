// The Windows HID driver against the real OS: DirectInput discovery with no
// controller attached, and the overlapped report I/O against a message-mode
// named pipe standing in for the device file (each message one report).
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/hid.h"
#include "platform/sync.h"
#include "platform/win32_hid_driver.h"

namespace {

using plat::Handle;
using plat::IoRecord;
using plat::IoStart;

// Long enough never to be reached on a loaded machine; only a hang hits it.
constexpr DWORD kGenerous = 30000;

plat::HidDriver& Driver() {
    return plat::Win32Hid();
}

std::vector<std::uint8_t> Report(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> report(length);
    for (std::size_t i = 0; i < length; ++i) report[i] = static_cast<std::uint8_t>(seed + i * 7);
    return report;
}

bool Completed(const IoRecord& io) {
    return HasOverlappedIoCompleted(reinterpret_cast<const OVERLAPPED*>(io.opaque));
}

// A record bound to a manual-reset event of its own, as the link uses them.
struct Record {
    Record() {
        io.Reset();
        io.hEvent = plat::NewEvent(true);
    }
    ~Record() { plat::CloseHandle(io.hEvent); }
    IoRecord io;
};

// The device file's stand-in: the server end is the "device", the client end
// is opened through the driver exactly as a device path would be.
class PipeDevice {
  public:
    PipeDevice() {
        static std::atomic<int> serial{0};
        name_ = "\\\\.\\pipe\\kx9-hid-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(serial.fetch_add(1));
        server_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                   4096, 0, nullptr);
        client_ = Driver().Open(name_.c_str());
        // A HID read returns one report; message read mode gives the same.
        if (client_ != plat::InvalidHandle()) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(client_, &mode, nullptr, nullptr);
        }
    }
    ~PipeDevice() {
        Driver().Close(client_);
        if (server_ != INVALID_HANDLE_VALUE) CloseHandle(server_);
    }

    bool ok() const { return server_ != INVALID_HANDLE_VALUE && client_ != plat::InvalidHandle(); }
    Handle client() const { return client_; }

    // The device sends one input report.
    bool Send(std::vector<std::uint8_t> report) {
        DWORD count = 0;
        return Transfer(true, report.data(), static_cast<DWORD>(report.size()), &count) &&
               count == report.size();
    }

    // The device takes one output report, whole.
    std::vector<std::uint8_t> Receive() {
        std::vector<std::uint8_t> data(4096);
        DWORD count = 0;
        if (!Transfer(false, data.data(), static_cast<DWORD>(data.size()), &count)) return {};
        data.resize(count);
        return data;
    }

    void Unplug() {
        CloseHandle(server_);
        server_ = INVALID_HANDLE_VALUE;
    }

  private:
    bool Transfer(bool write, void* data, DWORD length, DWORD* count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        BOOL done = write ? WriteFile(server_, data, length, nullptr, &overlapped)
                          : ReadFile(server_, data, length, nullptr, &overlapped);
        if (!done && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(overlapped.hEvent, kGenerous) != WAIT_OBJECT_0) {
                CancelIoEx(server_, &overlapped);
            }
            done = TRUE;
        }
        const BOOL result = done && GetOverlappedResult(server_, &overlapped, count, TRUE);
        CloseHandle(overlapped.hEvent);
        return result != FALSE;
    }

    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
    Handle client_ = plat::InvalidHandle();
};

// --- discovery ------------------------------------------------------------

int CountDevice(const plat::DeviceInstance*, void* context) {
    ++*static_cast<int*>(context);
    return plat::kDienumContinue;
}

TEST(Discovery, NoControllerAttachedGivesNoCallbacks) {
    plat::InputSystem* system = nullptr;
    ASSERT_TRUE(Driver().CreateInputSystem(&system));
    ASSERT_NE(system, nullptr);

    int seen = 0;
    system->EnumDevices(CountDevice, &seen);
    EXPECT_EQ(seen, 0);
    system->EnumDevices(nullptr, &seen);  // ignored, not called

    // An instance nobody reported cannot be made into a device.
    plat::DeviceInstance unknown;
    plat::InputDevice* device = nullptr;
    EXPECT_FALSE(system->CreateDevice(unknown, &device));
    EXPECT_EQ(device, nullptr);
    EXPECT_FALSE(system->CreateDevice(unknown, nullptr));
    system->Release();

    // Each discovery makes a fresh object; the previous one is gone.
    ASSERT_TRUE(Driver().CreateInputSystem(&system));
    system->Release();
    EXPECT_FALSE(Driver().CreateInputSystem(nullptr));
}

// --- opening and the HID queries --------------------------------------------

TEST(DeviceFile, PathsThatDoNotOpenGiveTheInvalidHandle) {
    const char* paths[] = {
        "\\\\.\\pipe\\kx9-no-such-device",
        "\\\\?\\hid#vid_0000&pid_0000#0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        "",
    };
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Driver().Open(path), plat::InvalidHandle());
    }
    EXPECT_EQ(Driver().Open(nullptr), plat::InvalidHandle());
    EXPECT_FALSE(Driver().Close(plat::InvalidHandle()));
    EXPECT_FALSE(Driver().Close(nullptr));
}

TEST(DeviceFile, HidQueriesOnSomethingThatIsNotHidFail) {
    PipeDevice device;
    ASSERT_TRUE(device.ok());

    plat::HidAttributes attributes;
    EXPECT_FALSE(Driver().GetAttributes(device.client(), &attributes));
    EXPECT_FALSE(Driver().GetAttributes(plat::InvalidHandle(), &attributes));
    plat::PreparsedData data = nullptr;
    EXPECT_FALSE(Driver().GetPreparsedData(device.client(), &data));
    EXPECT_FALSE(Driver().GetPreparsedData(nullptr, &data));

    // Capabilities of data that hid.dll never made are refused, and the
    // caller's record is left alone.
    std::vector<std::uint8_t> bogus(1024, 0);
    plat::HidCaps caps;
    caps.InputReportByteLength = 77;
    EXPECT_FALSE(Driver().GetCaps(bogus.data(), &caps));
    EXPECT_FALSE(Driver().GetCaps(nullptr, &caps));
    EXPECT_EQ(caps.InputReportByteLength, 77);
    Driver().FreePreparsedData(nullptr);
}

// --- overlapped reports -------------------------------------------------------

TEST(Reports, PendingReadCompletesWhenTheDeviceSendsAndSignalsTheEvent) {
    PipeDevice device;
    ASSERT_TRUE(device.ok());
    Record r;
    std::vector<std::uint8_t> buffer(16, 0xEE);

    ASSERT_EQ(Driver().Read(device.client(), buffer.data(), 16, &r.io), IoStart::kPending);
    std::uint32_t count = 99;
    EXPECT_FALSE(Driver().GetResult(device.client(), &r.io, &count)) << "reported done early";
    EXPECT_EQ(plat::WaitForSingleObject(r.io.hEvent, 0), plat::kWaitTimeout);

    const auto report = Report(16, 0x10);
    ASSERT_TRUE(device.Send(report));
    ASSERT_EQ(plat::WaitForSingleObject(r.io.hEvent, kGenerous), plat::kWaitObject0);
    ASSERT_TRUE(Driver().GetResult(device.client(), &r.io, &count));
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(buffer, report);

    // A report already waiting may finish the read at once; either way the
    // event tells and the result is collected.
    const auto waiting = Report(16, 0x40);
    ASSERT_TRUE(device.Send(waiting));
    r.io.Reset();
    ASSERT_NE(Driver().Read(device.client(), buffer.data(), 16, &r.io), IoStart::kFailed);
    ASSERT_EQ(plat::WaitForSingleObject(r.io.hEvent, kGenerous), plat::kWaitObject0);
    ASSERT_TRUE(Driver().GetResult(device.client(), &r.io, &count));
    EXPECT_EQ(buffer, waiting);
}

TEST(Reports, CancelledReadHasCompletedWhenCancelReturnsAndLeavesItsBufferAlone) {
    PipeDevice device;
    ASSERT_TRUE(device.ok());
    Record cancelled;
    std::vector<std::uint8_t> old(16, 0xEE);
    ASSERT_EQ(Driver().Read(device.client(), old.data(), 16, &cancelled.io), IoStart::kPending);

    Driver().Cancel(device.client(), &cancelled.io);
    EXPECT_TRUE(Completed(cancelled.io)) << "Cancel returned with the read still pending";
    std::uint32_t count = 0;
    EXPECT_FALSE(Driver().GetResult(device.client(), &cancelled.io, &count));

    // The next report goes to the next read, never into the cancelled buffer.
    Record next;
    std::vector<std::uint8_t> fresh(16, 0);
    const IoStart start = Driver().Read(device.client(), fresh.data(), 16, &next.io);
    ASSERT_NE(start, IoStart::kFailed);
    const auto report = Report(16, 0x70);
    ASSERT_TRUE(device.Send(report));
    ASSERT_EQ(plat::WaitForSingleObject(next.io.hEvent, kGenerous), plat::kWaitObject0);
    ASSERT_TRUE(Driver().GetResult(device.client(), &next.io, &count));
    EXPECT_EQ(fresh, report);
    EXPECT_EQ(old, std::vector<std::uint8_t>(16, 0xEE));

    // Cancelling what has already finished, or what never started, returns.
    Driver().Cancel(device.client(), &next.io);
    Record idle;
    Driver().Cancel(device.client(), &idle.io);
    Driver().Cancel(device.client(), nullptr);
}

TEST(Reports, WritesArriveAsWholeReports) {
    PipeDevice device;
    ASSERT_TRUE(device.ok());
    for (std::size_t length : {5u, 9u, 12u, 22u, 64u, 259u}) {
        SCOPED_TRACE(length);
        const auto report = Report(length, static_cast<std::uint8_t>(length));
        Record r;
        const IoStart start = Driver().Write(device.client(), report.data(),
                                             static_cast<std::uint32_t>(length), &r.io);
        ASSERT_NE(start, IoStart::kFailed);
        ASSERT_EQ(plat::WaitForSingleObject(r.io.hEvent, kGenerous), plat::kWaitObject0);
        std::uint32_t count = 0;
        ASSERT_TRUE(Driver().GetResult(device.client(), &r.io, &count));
        EXPECT_EQ(count, length);
        EXPECT_EQ(device.Receive(), report);
    }
}

TEST(Reports, UnpluggedDeviceFailsAtOnceAndLeavesNothingPending) {
    PipeDevice device;
    ASSERT_TRUE(device.ok());
    device.Unplug();

    std::vector<std::uint8_t> buffer(16, 0);
    Record r;
    EXPECT_EQ(Driver().Read(device.client(), buffer.data(), 16, &r.io), IoStart::kFailed);
    // Nothing is pending, so a cancel must not wait for a completion.
    Driver().Cancel(device.client(), &r.io);
    EXPECT_TRUE(Completed(r.io));
    std::uint32_t count = 0;
    EXPECT_FALSE(Driver().GetResult(device.client(), &r.io, &count));

    r.io.Reset();
    EXPECT_EQ(Driver().Write(device.client(), buffer.data(), 16, &r.io), IoStart::kFailed);
    Driver().Cancel(device.client(), &r.io);

    struct Case {
        const char* name;
        Handle device;
        void* buffer;
        IoRecord* io;
    };
    const Case bad[] = {
        {"invalid handle", plat::InvalidHandle(), buffer.data(), &r.io},
        {"null handle", nullptr, buffer.data(), &r.io},
        {"no buffer", device.client(), nullptr, &r.io},
        {"no record", device.client(), buffer.data(), nullptr},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Driver().Read(c.device, c.buffer, 16, c.io), IoStart::kFailed);
        EXPECT_EQ(Driver().Write(c.device, c.buffer, 16, c.io), IoStart::kFailed);
        EXPECT_FALSE(Driver().GetResult(c.device, c.io, &count));
    }
}

}  // namespace
