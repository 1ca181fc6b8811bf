// The device file: opened for overlapped I/O, queried through hid.dll, read
// and written one report at a time with the OVERLAPPED kept inside the
// caller's IoRecord so that the record's lifetime is the operation's.
#include <windows.h>
// MinGW's HID headers declare their functions without C linkage.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstddef>

#include "platform/win32/hid_win32.h"
#include "platform/win32_hid_driver.h"

namespace plat {
namespace {

static_assert(sizeof(OVERLAPPED) <= sizeof(IoRecord::opaque));
static_assert(alignof(OVERLAPPED) <= alignof(IoRecord));
static_assert(offsetof(IoRecord, opaque) == 0);

bool IsRealHandle(Handle handle) {
    return handle != nullptr && handle != InvalidHandle();
}

// The record's storage is the OVERLAPPED; the event the caller chose is
// copied in before every operation, the rest was zeroed by IoRecord::Reset.
OVERLAPPED* Overlapped(IoRecord* io) {
    return reinterpret_cast<OVERLAPPED*>(io->opaque);
}

// An operation refused at the start may leave the record marked pending (the
// OS writes no status for it), and a later Cancel would then wait for ever
// on an event nobody sets; such a record is marked failed instead.
IoStart Started(BOOL done, OVERLAPPED* overlapped) {
    if (done) return IoStart::kCompleted;
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return IoStart::kPending;
    constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001u;
    overlapped->Internal = kStatusUnsuccessful;
    overlapped->InternalHigh = 0;
    SetLastError(error);
    return IoStart::kFailed;
}

}  // namespace

Handle Win32HidDriver::Open(const char* path) {
    if (path == nullptr) return InvalidHandle();
    HANDLE device =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        lastOpenFailure_ = OpenFailure::kNone;
        return device;
    }
    const DWORD error = GetLastError();
    lastOpenFailure_ = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                           ? OpenFailure::kPermissionDenied
                       : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                               error == ERROR_DEVICE_NOT_CONNECTED
                           ? OpenFailure::kNotFound
                           : OpenFailure::kOther;
    SetLastError(error);
    return InvalidHandle();
}

bool Win32HidDriver::Close(Handle device) {
    return IsRealHandle(device) && CloseHandle(device) != FALSE;
}

bool Win32HidDriver::GetAttributes(Handle device, HidAttributes* attributes) {
    if (!IsRealHandle(device) || attributes == nullptr) return false;
    HIDD_ATTRIBUTES found{};
    found.Size = sizeof(found);
    if (!HidD_GetAttributes(device, &found)) return false;
    attributes->Size = found.Size;
    attributes->VendorID = found.VendorID;
    attributes->ProductID = found.ProductID;
    attributes->VersionNumber = found.VersionNumber;
    return true;
}

bool Win32HidDriver::GetPreparsedData(Handle device, PreparsedData* data) {
    if (!IsRealHandle(device) || data == nullptr) return false;
    PHIDP_PREPARSED_DATA found = nullptr;
    if (!HidD_GetPreparsedData(device, &found)) return false;
    *data = found;
    return true;
}

bool Win32HidDriver::GetCaps(PreparsedData data, HidCaps* caps) {
    if (data == nullptr || caps == nullptr) return false;
    HIDP_CAPS found{};
    if (HidP_GetCaps(static_cast<PHIDP_PREPARSED_DATA>(data), &found) != HIDP_STATUS_SUCCESS) {
        return false;
    }
    caps->Usage = found.Usage;
    caps->UsagePage = found.UsagePage;
    caps->InputReportByteLength = found.InputReportByteLength;
    caps->OutputReportByteLength = found.OutputReportByteLength;
    caps->FeatureReportByteLength = found.FeatureReportByteLength;
    return true;
}

void Win32HidDriver::FreePreparsedData(PreparsedData data) {
    if (data != nullptr) HidD_FreePreparsedData(static_cast<PHIDP_PREPARSED_DATA>(data));
}

IoStart Win32HidDriver::Read(Handle device, void* buffer, std::uint32_t length, IoRecord* io) {
    if (!IsRealHandle(device) || buffer == nullptr || io == nullptr) return IoStart::kFailed;
    OVERLAPPED* overlapped = Overlapped(io);
    overlapped->hEvent = io->hEvent;
    return Started(ReadFile(device, buffer, length, nullptr, overlapped), overlapped);
}

IoStart Win32HidDriver::Write(Handle device, const void* buffer, std::uint32_t length,
                              IoRecord* io) {
    if (!IsRealHandle(device) || buffer == nullptr || io == nullptr) return IoStart::kFailed;
    OVERLAPPED* overlapped = Overlapped(io);
    overlapped->hEvent = io->hEvent;
    return Started(WriteFile(device, buffer, length, nullptr, overlapped), overlapped);
}

bool Win32HidDriver::GetResult(Handle device, IoRecord* io, std::uint32_t* transferred) {
    if (!IsRealHandle(device) || io == nullptr) return false;
    DWORD count = 0;
    if (!GetOverlappedResult(device, Overlapped(io), &count, FALSE)) return false;
    if (transferred != nullptr) *transferred = count;
    return true;
}

void Win32HidDriver::Cancel(Handle device, IoRecord* io) {
    if (io == nullptr) return;
    OVERLAPPED* overlapped = Overlapped(io);
    // A record that holds no pending operation (never started, or finished)
    // has nothing to cancel, and waiting on it could block on an event that
    // nobody will set.
    if (HasOverlappedIoCompleted(overlapped)) return;
    if (IsRealHandle(device)) CancelIoEx(device, overlapped);
    // Cancelled or not (it may have completed meanwhile), the operation owns
    // the buffer and the record until the OS has finished with them.
    DWORD count = 0;
    GetOverlappedResult(device, overlapped, &count, TRUE);
}

HidDriver& Win32Hid() {
    static Win32HidDriver driver;
    return driver;
}

}  // namespace plat
