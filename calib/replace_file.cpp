#include "calib/replace_file.h"

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_replace.h"

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

std::string FreeTemporaryName(const std::string& target) {
    for (int n = 1; n <= 100; ++n) {
        std::string name = target + "." + std::to_string(n) + ".tmp";
        if (plat::KindOfPath(name.c_str()) == plat::PathKind::kNotFound) return name;
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
    if (exists) plat::CopyFilePermissions(target.c_str(), temporary.c_str());
    if (!WriteAndClose(file, text, ops)) {
        std::remove(temporary.c_str());
        return Outcome::kFailed;
    }
    if (!plat::RenameReplacing(temporary.c_str(), target.c_str())) {
        std::remove(temporary.c_str());
        return Outcome::kNotPossible;
    }
    return Outcome::kDone;
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

namespace {

// Replacing the link itself would cut it off from the file it names.
std::string FollowLink(const char* path, plat::PathKind* kind) {
    std::string target = path;
    *kind = plat::KindOfPath(target.c_str());
    if (*kind == plat::PathKind::kSymbolicLink) {
        std::string resolved = plat::ResolvedPath(target.c_str());
        if (!resolved.empty()) {
            target = std::move(resolved);
            *kind = plat::KindOfPath(target.c_str());
        }
    }
    return target;
}

}  // namespace

bool WriteTextFileReplacing(const char* path, std::string_view text, const FileWriteOps& ops) {
    if (path == nullptr || *path == '\0') return false;
    plat::PathKind kind;
    const std::string target = FollowLink(path, &kind);
    switch (kind) {
        case plat::PathKind::kNotFound: {
            const Outcome outcome = ReplaceThroughTemporary(target, false, text, ops);
            if (outcome != Outcome::kNotPossible) return outcome == Outcome::kDone;
            return WriteInPlace(target, false, text, ops);
        }
        case plat::PathKind::kRegularFile:
            // A read-only file is left to the plain open below to refuse.
            if (plat::IsOwnSingleLinkFile(target.c_str()) && IsWritable(target)) {
                const Outcome outcome = ReplaceThroughTemporary(target, true, text, ops);
                if (outcome != Outcome::kNotPossible) return outcome == Outcome::kDone;
            }
            return WriteInPlace(target, true, text, ops);
        case plat::PathKind::kUnknown:  // could not even be examined
            return false;
        case plat::PathKind::kSymbolicLink:  // leads nowhere: the open follows it as it can
        case plat::PathKind::kOther:         // a device, a pipe
            break;
    }
    return WriteInPlace(target, false, text, ops);
}

NewFileStatus WriteNewTextFile(const char* path, std::string_view text, const FileWriteOps& ops) {
    if (path == nullptr || *path == '\0') return NewFileStatus::kFailed;
    const std::string target = path;
    std::string temporary;
    std::FILE* file = nullptr;
    // Made exclusively too: another program saving beside this one picks a
    // free name at the same moment.
    for (int n = 1; n <= 100 && file == nullptr; ++n) {
        temporary = target + "." + std::to_string(n) + ".tmp";
        file = plat::CreateNewFile(temporary.c_str());
    }
    if (file == nullptr) return NewFileStatus::kFailed;
    const bool written =
        text.empty() || ops.write(text.data(), 1, text.size(), file) == text.size();
    const bool durable = written && plat::FlushToDisk(file);
    if (ops.close(file) != 0 || !durable) {
        std::remove(temporary.c_str());
        return NewFileStatus::kFailed;
    }
    switch (plat::RenameNotReplacing(temporary.c_str(), target.c_str())) {
        case plat::RenameResult::kDone:
            return plat::FlushFolderOf(target.c_str()) ? NewFileStatus::kWritten
                                                       : NewFileStatus::kFailed;
        case plat::RenameResult::kTaken:
            std::remove(temporary.c_str());
            return NewFileStatus::kExists;
        case plat::RenameResult::kFailed:
            break;
    }
    std::remove(temporary.c_str());
    return NewFileStatus::kFailed;
}

bool ReplaceFileDurably(const char* path, std::string_view bytes) {
    if (path == nullptr || *path == '\0') return false;
    plat::PathKind kind;
    const std::string target = FollowLink(path, &kind);
    const bool exists = kind == plat::PathKind::kRegularFile;
    if (!exists && kind != plat::PathKind::kNotFound) return false;
    if (exists && !(plat::IsOwnSingleLinkFile(target.c_str()) && IsWritable(target))) return false;
    // Made exclusively: a name another process took meanwhile is never
    // written into, the next one is tried instead.
    std::string temporary;
    for (int n = 1; n <= 100 && temporary.empty(); ++n) {
        const std::string name = target + "." + std::to_string(n) + ".tmp";
        if (plat::WriteNewFileDurably(name.c_str(), bytes.data(), bytes.size())) {
            temporary = name;
        } else if (plat::KindOfPath(name.c_str()) == plat::PathKind::kNotFound) {
            return false;  // not taken: the folder or the disk refused it
        }
    }
    if (temporary.empty()) return false;
    if (exists) plat::CopyFilePermissions(target.c_str(), temporary.c_str());
    if (!plat::RenameReplacing(temporary.c_str(), target.c_str())) {
        std::remove(temporary.c_str());
        return false;
    }
    return plat::FlushFolderOf(target.c_str());
}
