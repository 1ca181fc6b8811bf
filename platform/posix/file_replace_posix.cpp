#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/file_replace.h"

namespace plat {

PathKind KindOfPath(const char* path) {
    struct stat st;
    if (path == nullptr) return PathKind::kUnknown;
    if (::lstat(path, &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? PathKind::kNotFound : PathKind::kUnknown;
    }
    if (S_ISREG(st.st_mode)) return PathKind::kRegularFile;
    if (S_ISLNK(st.st_mode)) return PathKind::kSymbolicLink;
    return PathKind::kOther;
}

bool IsOwnSingleLinkFile(const char* path) {
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    // A rename gives the file the saver's owner and group and splits it from
    // its other names.
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
           st.st_gid == ::getegid();
}

void CopyFilePermissions(const char* from, const char* to) {
    struct stat st;
    if (from == nullptr || to == nullptr || ::stat(from, &st) != 0) return;
    // Set-id and sticky bits included: the replacement is to be the same file.
    [[maybe_unused]] const int ignored = ::chmod(to, st.st_mode & 07777);
}

bool RenameReplacing(const char* from, const char* to) {
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

std::FILE* CreateNewFile(const char* path) {
    if (path == nullptr) return nullptr;
    // O_EXCL fails on a symbolic link too, even one leading nowhere.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(path);
    }
    return file;
}

RenameResult RenameNotReplacing(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) return RenameResult::kFailed;
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return RenameResult::kDone;
    if (errno == EEXIST) return RenameResult::kTaken;
    if (errno != EINVAL && errno != ENOSYS) return RenameResult::kFailed;
    // A file system without the flag: a second name, which link() gives only
    // while the name is free, then the first one dropped.
    if (::link(from, to) != 0) {
        return errno == EEXIST ? RenameResult::kTaken : RenameResult::kFailed;
    }
    ::unlink(from);
    return RenameResult::kDone;
}

bool FlushToDisk(std::FILE* file) {
    return file != nullptr && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

bool FlushFolderOf(const char* path) {
    if (path == nullptr) return false;
    std::string folder = path;
    const std::size_t slash = folder.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool flushed = ::fsync(fd) == 0;
    ::close(fd);
    return flushed;
}

bool WriteNewFileDurably(const char* path, const void* data, std::size_t size) {
    if (path == nullptr || (data == nullptr && size > 0)) return false;
    // O_EXCL with O_CREAT also refuses a symbolic link, even a dangling one.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool synced = done == size && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (synced && closed) return true;
    ::unlink(path);
    return false;
}

std::string ResolvedPath(const char* path) {
    if (path == nullptr) return {};
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path, nullptr), std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace plat
