#include "calib/replace_file.h"

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool WriteAndClose(std::FILE* file, std::string_view text, const FileWriteOps& ops) {
    const bool written =
        text.empty() || ops.write(text.data(), 1, text.size(), file) == text.size();
    // The close flushes what the stream still buffers, so a full disk often
    // shows only here.
    const bool closed = ops.close(file) == 0;
    return written && closed;
}

bool WriteInPlace(const std::string& path, std::string_view text, const FileWriteOps& ops) {
    std::FILE* file = std::fopen(path.c_str(), "wt");
    return file != nullptr && WriteAndClose(file, text, ops);
}

fs::file_type TypeOf(const std::string& path, bool followLinks) {
    std::error_code ec;
    try {
        return (followLinks ? fs::status(path, ec) : fs::symlink_status(path, ec)).type();
    } catch (const std::exception&) {  // the path cannot be converted
        return fs::file_type::none;
    }
}

std::string FreeTemporaryName(const std::string& target) {
    for (int n = 1; n <= 100; ++n) {
        std::string name = target + "." + std::to_string(n) + ".tmp";
        if (TypeOf(name, false) == fs::file_type::not_found) return name;
    }
    return {};
}

// Opening for append neither truncates nor creates (the target exists), yet
// fails exactly where a truncating open would: read-only, locked, no access.
bool IsWritable(const std::string& path) {
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (probe == nullptr) return false;
    std::fclose(probe);
    return true;
}

void CopyPermissions(const std::string& from, const std::string& to) noexcept {
    try {
        std::error_code ec;
        const fs::file_status status = fs::status(from, ec);
        if (!ec) fs::permissions(to, status.permissions(), ec);
    } catch (const std::exception&) {
        // The replacement keeps default permissions; the contents are what matter.
    }
}

bool MoveOver(const std::string& from, const std::string& to) noexcept {
    // The C rename replaces an existing target on POSIX but refuses it on
    // Windows, where the filesystem rename (MoveFileEx) replaces it.
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    try {
        std::error_code ec;
        fs::rename(from, to, ec);
        return !ec;
    } catch (const std::exception&) {
        return false;
    }
}

bool ReplaceRegularFile(const std::string& target, bool exists, std::string_view text,
                        const FileWriteOps& ops) {
    if (exists && !IsWritable(target)) return false;
    const std::string temporary = FreeTemporaryName(target);
    if (temporary.empty()) return false;
    std::FILE* file = std::fopen(temporary.c_str(), "wt");
    if (file == nullptr) return false;
    bool ok = WriteAndClose(file, text, ops);
    if (ok && exists) CopyPermissions(target, temporary);
    if (ok) ok = MoveOver(temporary, target);
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

std::string ResolveLink(const std::string& path) {
    try {
        std::error_code ec;
        const fs::path resolved = fs::canonical(path, ec);
        return ec ? std::string{} : resolved.string();
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

FileWriteOps StandardFileWriteOps() {
    return {
        [](const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
            return std::fwrite(data, size, count, stream);
        },
        [](std::FILE* stream) { return std::fclose(stream); },
    };
}

bool WriteTextFileReplacing(const char* path, std::string_view text, const FileWriteOps& ops) {
    if (path == nullptr || *path == '\0') return false;
    std::string target = path;
    fs::file_type type = TypeOf(target, false);
    if (type == fs::file_type::symlink) {
        // Replacing the link itself would cut it off from the file it names.
        const std::string resolved = ResolveLink(target);
        if (!resolved.empty()) {
            target = resolved;
            type = TypeOf(target, false);
        }
    }
    switch (type) {
        case fs::file_type::not_found:
            return ReplaceRegularFile(target, false, text, ops);
        case fs::file_type::regular:
            return ReplaceRegularFile(target, true, text, ops);
        case fs::file_type::none:  // could not even be examined
            return false;
        default:
            return WriteInPlace(target, text, ops);
    }
}
