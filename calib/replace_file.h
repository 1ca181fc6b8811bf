// Writing a whole file so that a failure part-way never costs its previous
// contents: the text goes to a temporary file in the same folder, which then
// takes the target's place.
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
// was written and the file closed cleanly. A regular file (or one reached
// through a symbolic link) is replaced whole or left untouched; the temporary
// is removed on failure. Anything else that exists there (a device, a pipe) is
// written in place, still with every step checked. A read-only target is
// refused as an ordinary open for writing would refuse it.
bool WriteTextFileReplacing(const char* path, std::string_view text,
                            const FileWriteOps& ops = StandardFileWriteOps());
