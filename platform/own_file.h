// Whether a file can be replaced by a new one without losing anything the
// user had: the save writes through a temporary file renamed over the
// target only then, and in place otherwise.
#pragma once

namespace plat {

// True for a regular file (links followed) with a single name, owned by the
// caller (and, where files have groups, of the caller's group): a new file
// renamed over it comes out the same but for its contents and mode, which
// the caller copies. False for anything else, and when it cannot be told.
bool IsOwnSingleLinkFile(const char* path);

}  // namespace plat
