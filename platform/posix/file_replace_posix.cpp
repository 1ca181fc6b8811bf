#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

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

std::string ResolvedPath(const char* path) {
    if (path == nullptr) return {};
    const std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path, nullptr), std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace plat
