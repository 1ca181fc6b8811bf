#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/std_descriptors.h"

namespace plat {

void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // Read-only: output to a closed descriptor must not look written.
        // open() returns the lowest free descriptor, which is this one.
        const int opened = ::open("/dev/null", O_RDONLY);
        if (opened != fd && opened >= 0) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace plat
