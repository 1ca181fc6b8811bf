#include <sys/stat.h>
#include <unistd.h>

#include "platform/own_file.h"

namespace plat {

bool IsOwnSingleLinkFile(const char* path) {
    struct stat st;
    if (path == nullptr || ::stat(path, &st) != 0) return false;
    // A rename gives the file the saver's owner and group and splits it from
    // its other names.
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
           st.st_gid == ::getegid();
}

}  // namespace plat
