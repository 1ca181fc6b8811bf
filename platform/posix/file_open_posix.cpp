#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_open.h"

namespace plat {

std::FILE* OpenRegularFileToRead(const char* path) {
    if (path == nullptr) return nullptr;
    // Without O_NONBLOCK the open of a FIFO waits for a writer before there
    // is anything to examine.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}

}  // namespace plat
