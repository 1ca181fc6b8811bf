#include <io.h>
#include <windows.h>

#include "platform/file_open.h"

namespace plat {

std::FILE* OpenRegularFileToRead(const char* path) {
    if (path == nullptr) return nullptr;
    // Asked first, without opening: the open of a pipe's name would connect
    // to it, and a device name (CON) opens the console.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return nullptr;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace plat
