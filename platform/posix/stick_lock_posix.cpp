#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/stick_lock.h"

namespace plat {
namespace {

// A socket (what tests put where a node would be) cannot be opened; a file
// beside it, made when missing, is locked instead.
int OpenForLock(const std::string& path, bool makeMissing) {
    const int fd =
        ::open(path.c_str(),
               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (makeMissing ? O_CREAT : 0), 0666);
    struct stat st;
    if (fd >= 0 || errno != ENXIO || ::stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return fd;
    }
    return ::open((path + ".lock").c_str(), O_RDONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
}

}  // namespace

// flock() rather than fcntl() locks: they belong to the open descriptor, not
// to the process, so two links of one process exclude each other too, and
// no other close of the same file drops them.
StickLockResult StickLock::Take(const std::string& path, bool makeMissing) {
    Release();
    const int fd = OpenForLock(path, makeMissing);
    if (fd < 0) return StickLockResult::kFailed;
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? StickLockResult::kInUse : StickLockResult::kFailed;
    }
    m_handle = fd;
    return StickLockResult::kTaken;
}

void StickLock::Release() {
    if (m_handle == kNone) return;
    ::close(static_cast<int>(m_handle));  // drops the lock with the descriptor
    m_handle = kNone;
}

}  // namespace plat
