// What replacing a file by a new one needs of the file system: what a name
// is, whether the file it names can be replaced without losing anything the
// user had, its permissions for the new file, the rename that puts the new
// file in its place, and the file a symbolic link names. The save writes
// through a temporary file renamed over the target only where that keeps
// the target as it was, and in place otherwise. A file that must never
// replace anything (a backup) is made under a name of its own and given its
// name only while that is free, and is on disk before anything relies on it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace plat {

enum class PathKind {
    kNotFound,  // nothing by that name, or a path through something not a folder
    kRegularFile,
    kSymbolicLink,
    kOther,    // a folder, a device, a pipe
    kUnknown,  // could not be examined (no access to a folder on the way, say)
};

// What `path` itself names: a symbolic link is not followed.
PathKind KindOfPath(const char* path);

// True for a regular file (links followed) with a single name, owned by the
// caller (and, where files have groups, of the caller's group): a new file
// renamed over it comes out the same but for its contents and mode, which
// the caller copies. False for anything else, and when it cannot be told.
bool IsOwnSingleLinkFile(const char* path);

// Gives `to` the permissions of `from` (links followed); leaves it as it is
// when they cannot be had or given.
void CopyFilePermissions(const char* from, const char* to);

// Renames `from` to `to`, replacing a file already there. False, with both
// left as they were, when it cannot be done.
bool RenameReplacing(const char* from, const char* to);

// Opens a new file for writing text; null when something is there by that
// name already (or the file cannot be made). Never follows a link.
std::FILE* CreateNewFile(const char* path);

enum class RenameResult { kDone, kTaken, kFailed };

// Renames `from` to `to` only while nothing has that name; kTaken, with
// both left as they were, when something has.
RenameResult RenameNotReplacing(const char* from, const char* to);

// Writes what `file` buffers and waits until the file's data is on disk.
bool FlushToDisk(std::FILE* file);

// Waits until the folder entries of the folder holding `path` are on disk,
// so that a name just given survives a power cut. True where the system
// keeps them so by itself.
bool FlushFolderOf(const char* path);

// Makes `path` as a new file holding `size` bytes of `data`, flushed to disk
// before this returns. Never opens a file that is already there (nor one a
// link names): false when the name is taken, and then that file is left as
// it was. False too when writing or flushing fails, with the new file gone.
bool WriteNewFileDurably(const char* path, const void* data, std::size_t size);

// The full path of the file `path` names, with no symbolic link left in it;
// empty when it cannot be had (a link to nothing, say).
std::string ResolvedPath(const char* path);

}  // namespace plat
