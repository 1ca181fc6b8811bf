// A file that several processes append to, each append whole: the file is
// held under an exclusive lock from the open to the close (a second holder
// waits its turn), an append is one write at the end, and the flush waits
// until the data is on disk. A failure keeps the system's own message.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// The name this machine goes by on the network; empty when it has none.
std::string HostName();

class SharedAppendFile {
  public:
    SharedAppendFile() = default;
    ~SharedAppendFile() { Close(); }
    SharedAppendFile(const SharedAppendFile&) = delete;
    SharedAppendFile& operator=(const SharedAppendFile&) = delete;

    // Opens `path`, made when missing, and waits for the lock. Only a
    // regular file (links followed) is opened.
    bool Open(const char* path);
    void Close();

    // The file's size now; -1 when it cannot be had.
    std::int64_t Size();
    // Up to `count` bytes from `offset` into `bytes` (fewer at the end).
    bool ReadAt(std::int64_t offset, std::size_t count, std::string* bytes);
    // `bytes` at the end of the file in one write; false when not all of
    // them went.
    bool Append(const std::string& bytes);
    // The file's data and, when this open made it, its name on disk.
    bool FlushToDisk();

    // Why the last call failed, in the system's words.
    const std::string& Error() const { return m_error; }

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a file's handle
    bool m_made = false;
    std::string m_path;
    std::string m_error;
};

}  // namespace plat
