// Opening a file that is meant to hold text the program reads whole: a name
// that leads to a pipe, a device or a folder is refused at once, where a
// plain open would wait for a writer or read without end.
#pragma once

#include <cstdio>

namespace plat {

// `path` opened for reading in binary mode when it names a regular file
// (links followed); null otherwise, and when it cannot be opened.
std::FILE* OpenRegularFileToRead(const char* path);

}  // namespace plat
