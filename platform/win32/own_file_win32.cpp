#include <windows.h>

#include "platform/own_file.h"

namespace plat {

// Windows files have no group, and their owner is not weighed here: what a
// rename visibly loses there is the other names of a hard-linked file.
bool IsOwnSingleLinkFile(const char* path) {
    if (path == nullptr) return false;
    // No access is asked for, only the file's information: opening it so
    // never fails for want of rights to its contents, nor disturbs a writer.
    const HANDLE file =
        ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           info.nNumberOfLinks == 1;
}

}  // namespace plat
