#include "calib/replace_file.h"

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "platform/own_file.h"

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

// The file's bytes, to put back if writing it in place fails; nothing when
// they cannot all be read.
std::optional<std::string> ReadBack(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::optional<std::string> text;
    try {
        std::string bytes;
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
        if (std::ferror(file) == 0) text = std::move(bytes);
    } catch (const std::exception&) {  // too big to hold: it cannot be put back
    }
    std::fclose(file);
    return text;
}

// As a plain open for writing does it, so it works wherever that works. A
// regular file that fails part-way gets its old bytes back where they can be
// had and written; the failure is reported either way.
bool WriteInPlace(const std::string& path, bool regular, std::string_view text,
                  const FileWriteOps& ops) {
    const std::optional<std::string> old = regular ? ReadBack(path) : std::nullopt;
    std::FILE* file = std::fopen(path.c_str(), "wt");
    if (file == nullptr) return false;
    if (WriteAndClose(file, text, ops)) return true;
    if (old.has_value()) {
        if (std::FILE* again = std::fopen(path.c_str(), "wb")) {
            if (!old->empty()) std::fwrite(old->data(), 1, old->size(), again);
            std::fclose(again);
        }
    }
    return false;
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

enum class Outcome { kDone, kFailed, kNotPossible };

// kNotPossible, with the target untouched, when the folder takes no new file
// or refuses the rename (a read-only or sticky folder): the caller then
// writes in place. kFailed when the text could not be written whole.
Outcome ReplaceThroughTemporary(const std::string& target, bool exists, std::string_view text,
                                const FileWriteOps& ops) {
    const std::string temporary = FreeTemporaryName(target);
    if (temporary.empty()) return Outcome::kNotPossible;
    std::FILE* file = std::fopen(temporary.c_str(), "wt");
    if (file == nullptr) return Outcome::kNotPossible;
    // Before the text goes in, so a private file's text is never readable
    // by others, not even for a moment.
    if (exists) CopyPermissions(target, temporary);
    if (!WriteAndClose(file, text, ops)) {
        std::remove(temporary.c_str());
        return Outcome::kFailed;
    }
    if (!MoveOver(temporary, target)) {
        std::remove(temporary.c_str());
        return Outcome::kNotPossible;
    }
    return Outcome::kDone;
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
        case fs::file_type::not_found: {
            const Outcome outcome = ReplaceThroughTemporary(target, false, text, ops);
            if (outcome != Outcome::kNotPossible) return outcome == Outcome::kDone;
            return WriteInPlace(target, false, text, ops);
        }
        case fs::file_type::regular:
            // A read-only file is left to the plain open below to refuse.
            if (plat::IsOwnSingleLinkFile(target.c_str()) && IsWritable(target)) {
                const Outcome outcome = ReplaceThroughTemporary(target, true, text, ops);
                if (outcome != Outcome::kNotPossible) return outcome == Outcome::kDone;
            }
            return WriteInPlace(target, true, text, ops);
        case fs::file_type::none:  // could not even be examined
            return false;
        default:  // a device, a pipe
            return WriteInPlace(target, false, text, ops);
    }
}
