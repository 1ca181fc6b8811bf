#include "platform/current_folder.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace plat {

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) return ".";
    // On Windows the narrow spelling is the code page's, and a name outside
    // it cannot be spelt: that throws, where "." still names the folder.
    try {
        return folder.string();
    } catch (const std::exception&) {
        return ".";
    }
}

}  // namespace plat
