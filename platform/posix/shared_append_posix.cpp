#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file_replace.h"
#include "platform/shared_append.h"

namespace plat {
namespace {

std::string SystemMessage(int error) {
    return std::strerror(error);
}

}  // namespace

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

bool SharedAppendFile::Open(const char* path) {
    Close();
    m_path = path;
    // Made here or found: only the one that made it flushes the folder.
    // O_NONBLOCK keeps a pipe of that name from holding the open.
    const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(path, flags | O_CREAT | O_EXCL, 0666);
    m_made = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path, flags);
    if (fd < 0) {
        m_error = SystemMessage(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = "not a regular file";
        ::close(fd);
        return false;
    }
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        m_error = SystemMessage(errno);
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void SharedAppendFile::Close() {
    if (m_handle == kNone) return;
    ::close(static_cast<int>(m_handle));  // drops the lock with the descriptor
    m_handle = kNone;
}

std::int64_t SharedAppendFile::Size() {
    struct stat st;
    if (m_handle == kNone || ::fstat(static_cast<int>(m_handle), &st) != 0) {
        m_error = SystemMessage(m_handle == kNone ? EBADF : errno);
        return -1;
    }
    return st.st_size;
}

bool SharedAppendFile::ReadAt(std::int64_t offset, std::size_t count, std::string* bytes) {
    bytes->assign(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(static_cast<int>(m_handle), bytes->data() + done, count - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_error = SystemMessage(errno);
            return false;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    bytes->resize(done);
    return true;
}

bool SharedAppendFile::Append(const std::string& bytes) {
    ssize_t n;
    // Retried only while nothing went: a second write would split the line.
    while ((n = ::write(static_cast<int>(m_handle), bytes.data(), bytes.size())) < 0 &&
           errno == EINTR) {
    }
    if (n < 0) {
        m_error = SystemMessage(errno);
        return false;
    }
    if (static_cast<std::size_t>(n) != bytes.size()) {
        m_error = SystemMessage(ENOSPC);
        return false;
    }
    return true;
}

bool SharedAppendFile::FlushToDisk() {
    if (::fsync(static_cast<int>(m_handle)) != 0) {
        m_error = SystemMessage(errno);
        return false;
    }
    if (m_made && !FlushFolderOf(m_path.c_str())) {
        m_error = SystemMessage(errno);
        return false;
    }
    m_made = false;
    return true;
}

}  // namespace plat
