// Writing a whole file so that a failure part-way never costs its previous
// contents, without refusing what a plain open for writing allows or losing
// what the user had: the text goes to a temporary file in the same folder,
// which then takes the target's place, where that keeps the target as it was
// (a new file, or a single-link file of the user's own in a folder that
// takes the rename); everything else is written in place.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// The two stream calls whose failures decide the outcome; tests swap them to
// fail on purpose.
struct FileWriteOps {
    std::size_t (*write)(const void* data, std::size_t size, std::size_t count, std::FILE* stream);
    int (*close)(std::FILE* stream);
};

FileWriteOps StandardFileWriteOps();

// Writes `text` to `path` in text mode ("wt"). Returns true only if every byte
// was written and the file closed cleanly. A symbolic link is followed, never
// replaced. Through a temporary file, the target keeps its mode and is
// replaced whole or left untouched, the temporary removed on failure. In
// place (another user's file, a hard-linked one, one in a read-only or sticky
// folder, a device), it succeeds exactly where a plain open for writing does,
// and a regular file that fails part-way gets its old bytes back where they
// can be read and written again.
bool WriteTextFileReplacing(const char* path, std::string_view text,
                            const FileWriteOps& ops = StandardFileWriteOps());

enum class NewFileStatus {
    kWritten,
    kExists,  // something has that name: it is left as it is
    kFailed,
};

// Writes `text` to `path` as a file of its own, never in the place of
// anything that has the name, not even what another program makes there
// meanwhile: through a temporary file of its own, named `path` only while
// the name is free. kWritten only once the text and the name are on disk.
NewFileStatus WriteNewTextFile(const char* path, std::string_view text,
                               const FileWriteOps& ops = StandardFileWriteOps());

// Replaces `path` by a file of `bytes`, written as they are, through a new
// temporary file in its folder that is flushed to disk and renamed over it:
// the name holds the old bytes or the new, never part of either, whatever
// stops the program. Never written in place, so false, with the file as it
// was, wherever that cannot be done: a folder that takes no new file, a
// read-only file or one that is not the caller's own with a single name, a
// full disk. A symbolic link is followed, never replaced.
bool ReplaceFileDurably(const char* path, std::string_view bytes);
