#include <fcntl.h>
#include <io.h>

#include "platform/std_descriptors.h"

namespace plat {

void OpenClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        // No "\n" to "\r\n" translation: the program's output, a script's
        // transcript or a dump on standard output, is the same bytes as on
        // Linux.
        ::_setmode(fd, _O_BINARY);
        if (::_get_osfhandle(fd) != -1) continue;
        // Read-only: output to a closed descriptor must not look written.
        const int opened = ::_open("NUL", _O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::_dup2(opened, fd);
            ::_close(opened);
        }
        ::_setmode(fd, _O_BINARY);
    }
}

// Windows has no SIGPIPE: a write to a closed pipe already fails.
void IgnoreBrokenPipes() {}

}  // namespace plat
