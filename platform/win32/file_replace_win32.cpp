#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/file_replace.h"

namespace plat {
namespace {

// The errors by which Windows says a name leads nowhere, rather than that it
// could not look.
bool IsMissing(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return true;
        default:
            return false;
    }
}

// Other reparse points (deduplicated or cloud files) are files like any
// other; only a symbolic link names another file.
bool IsSymbolicLink(const char* path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           found.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

// No access is asked for, only the file's information: opening it so never
// fails for want of rights to its contents, nor disturbs a writer. Folders
// open too.
HANDLE OpenForInformation(const char* path) {
    return ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

PathKind KindOfPath(const char* path) {
    if (path == nullptr) return PathKind::kUnknown;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return IsMissing(::GetLastError()) ? PathKind::kNotFound : PathKind::kUnknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsSymbolicLink(path)) {
        return PathKind::kSymbolicLink;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kOther;
    return PathKind::kRegularFile;
}

// Windows files have no group, and their owner is not weighed here: what a
// rename visibly loses there is the other names of a hard-linked file.
bool IsOwnSingleLinkFile(const char* path) {
    if (path == nullptr) return false;
    const HANDLE file = OpenForInformation(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           info.nNumberOfLinks == 1;
}

// A file's permission here is whether it is read-only; the rest of its
// access lies in the folder's security, which the new file inherits anyway.
void CopyFilePermissions(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) return;
    const DWORD source = ::GetFileAttributesA(from);
    const DWORD target = ::GetFileAttributesA(to);
    if (source == INVALID_FILE_ATTRIBUTES || target == INVALID_FILE_ATTRIBUTES) return;
    const DWORD wanted =
        (target & ~DWORD{FILE_ATTRIBUTE_READONLY}) | (source & FILE_ATTRIBUTE_READONLY);
    if (wanted != target) ::SetFileAttributesA(to, wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted);
}

// The C library's rename refuses an existing target here.
bool RenameReplacing(const char* from, const char* to) {
    return from != nullptr && to != nullptr &&
           ::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool WriteNewFileDurably(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size > 0)) return false;
    // CREATE_NEW fails on any name already taken, a link's included.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const DWORD want = static_cast<DWORD>(size - done > 0x10000000 ? 0x10000000 : size - done);
        DWORD wrote = 0;
        if (!::WriteFile(file, bytes + done, want, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    const bool flushed = done == size && ::FlushFileBuffers(file) != 0;
    const bool closed = ::CloseHandle(file) != 0;
    if (flushed && closed) return true;
    ::DeleteFileA(path);
    return false;
}

std::FILE* CreateNewFile(const char* path) {
    if (path == nullptr) return nullptr;
    const int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wt");
    if (file == nullptr) {
        ::_close(fd);
        ::DeleteFileA(path);
    }
    return file;
}

// Without MOVEFILE_REPLACE_EXISTING the move refuses a name in use.
RenameResult RenameNotReplacing(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) return RenameResult::kFailed;
    if (::MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0) return RenameResult::kDone;
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? RenameResult::kTaken
                                                                       : RenameResult::kFailed;
}

bool FlushToDisk(std::FILE* file) {
    return file != nullptr && std::fflush(file) == 0 && ::_commit(::_fileno(file)) == 0;
}

// NTFS writes its folder entries through its own journal; a folder cannot
// be flushed as a file can.
bool FlushFolderOf(const char* path) {
    return path != nullptr;
}

std::string ResolvedPath(const char* path) {
    if (path == nullptr) return {};
    const HANDLE file = OpenForInformation(path);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string resolved(MAX_PATH, '\0');
    DWORD length =
        ::GetFinalPathNameByHandleA(file, resolved.data(), static_cast<DWORD>(resolved.size()), 0);
    if (length >= resolved.size()) {  // too small: the length asked for counts the NUL
        resolved.resize(length);
        length = ::GetFinalPathNameByHandleA(file, resolved.data(),
                                             static_cast<DWORD>(resolved.size()), 0);
    }
    ::CloseHandle(file);
    if (length == 0 || length >= resolved.size()) return {};
    resolved.resize(length);
    // The name comes back in its long form ("\\?\C:\..." or
    // "\\?\UNC\server\share\..."); the plain form is what the rest of the
    // program, and the C library's calls on it, take.
    constexpr std::string_view kLong = "\\\\?\\", kLongUnc = "\\\\?\\UNC\\";
    if (resolved.compare(0, kLongUnc.size(), kLongUnc) == 0) {
        return "\\\\" + resolved.substr(kLongUnc.size());
    }
    if (resolved.compare(0, kLong.size(), kLong) == 0 && resolved.size() >= kLong.size() + 2 &&
        resolved[kLong.size() + 1] == ':') {
        return resolved.substr(kLong.size());
    }
    return resolved;
}

}  // namespace plat
