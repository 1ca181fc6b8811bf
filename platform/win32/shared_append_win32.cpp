#include <windows.h>

#include <string>

#include "platform/shared_append.h"

namespace plat {
namespace {

// FormatMessage ends its text in a line break (and often a full stop), which
// a message that goes on after it does not want.
std::string SystemMessage(DWORD error) {
    char text[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 256] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return {};
    return std::string(name, size);
}

bool SharedAppendFile::Open(const char* path) {
    Close();
    m_path = path;
    // Asked first, without opening: a pipe's or a device's name is no record.
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        m_error = "not a regular file";
        return false;
    }
    const HANDLE file =
        ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_error = SystemMessage(::GetLastError());
        return false;
    }
    m_made = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        m_error = "not a regular file";
        ::CloseHandle(file);
        return false;
    }
    // The whole range a file can have: every holder locks the same bytes.
    OVERLAPPED at = {};
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at)) {
        m_error = SystemMessage(::GetLastError());
        ::CloseHandle(file);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void SharedAppendFile::Close() {
    if (m_handle == kNone) return;
    // Closing the handle drops its lock too, but only at some later time.
    OVERLAPPED at = {};
    ::UnlockFileEx(AsHandle(m_handle), 0, MAXDWORD, MAXDWORD, &at);
    ::CloseHandle(AsHandle(m_handle));
    m_handle = kNone;
}

std::int64_t SharedAppendFile::Size() {
    LARGE_INTEGER size;
    if (m_handle == kNone || !::GetFileSizeEx(AsHandle(m_handle), &size)) {
        m_error = SystemMessage(m_handle == kNone ? ERROR_INVALID_HANDLE : ::GetLastError());
        return -1;
    }
    return size.QuadPart;
}

bool SharedAppendFile::ReadAt(std::int64_t offset, std::size_t count, std::string* bytes) {
    bytes->assign(count, '\0');
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD got = 0;
    if (!::ReadFile(AsHandle(m_handle), bytes->data(), static_cast<DWORD>(count), &got, &at) &&
        ::GetLastError() != ERROR_HANDLE_EOF) {
        m_error = SystemMessage(::GetLastError());
        return false;
    }
    bytes->resize(got);
    return true;
}

bool SharedAppendFile::Append(const std::string& bytes) {
    // Offset all ones: the write goes at the end of the file.
    OVERLAPPED at = {};
    at.Offset = MAXDWORD;
    at.OffsetHigh = MAXDWORD;
    DWORD wrote = 0;
    if (!::WriteFile(AsHandle(m_handle), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote,
                     &at)) {
        m_error = SystemMessage(::GetLastError());
        return false;
    }
    if (wrote != bytes.size()) {
        m_error = SystemMessage(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

bool SharedAppendFile::FlushToDisk() {
    if (!::FlushFileBuffers(AsHandle(m_handle))) {
        m_error = SystemMessage(::GetLastError());
        return false;
    }
    m_made = false;
    return true;
}

}  // namespace plat
