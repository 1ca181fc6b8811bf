// How the end-to-end harness works the virtual stick of a running program:
// it appends lines to a control file, and the program applies them in order
// and reports how many it has taken in an acknowledgement file beside it
// (the control file's name plus ".ack"), which the harness polls.
//
// Control file lines:
//   axes X Y    the stick moves to X, Y (1 to 4 hex digits each, "0x"
//               allowed): taken once the program's reader has had a report
//               with these axes, or at once when no reader is running
//   unplug      the stick is pulled out
//   plug        the stick is plugged in again (centred)
//   reply-latency MS    each EEPROM read reply comes MS ms (decimal, at
//                       most 60000) after its request
//   ignore-writes on|off  write requests are accepted and nothing is stored
//   flip-bit ADDR|none  a write stores EEPROM address ADDR (decimal, 0 to
//                       255) with its lowest bit flipped
//   # ...       comment; blank lines are taken too
//
// Acknowledgement file: the first line is the number of lines taken so far;
// each rejected line adds "line N: reason". It is replaced whole each time,
// so a reader never sees half of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct ControlCommand {
    enum class Kind { kNone, kAxes, kUnplug, kPlug, kReplyLatency, kIgnoreWrites, kFlipBit };
    Kind kind = Kind::kNone;
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    // kReplyLatency: milliseconds; kIgnoreWrites: 0 or 1; kFlipBit: the
    // address or -1.
    int value = 0;
};

// One line without its line end (a trailing CR is allowed). False, with the
// reason, for a line that is neither a command, a comment nor blank.
bool ParseControlLine(std::string_view line, ControlCommand* command, std::string* error);

// What the control lines act on.
class StickActions {
  public:
    virtual ~StickActions() = default;
    virtual void SetAxes(std::uint16_t x, std::uint16_t y) = 0;
    virtual void Unplug() = 0;
    virtual void Plug() = 0;
    virtual void SetReplyLatency(std::uint32_t ms) = 0;
    virtual void SetIgnoreWrites(bool ignore) = 0;
    virtual void SetFlipBitAddress(int address) = 0;  // -1: none
};

// Follows one control file as it grows. Not thread-safe: one thread polls.
class ControlFollower {
  public:
    // Longer lines are rejected whole.
    static constexpr std::size_t kMaxLineLength = 256;

    ControlFollower(std::string controlPath, StickActions& stick);

    // Applies every whole line appended since the last call (a line still
    // being written waits for its line end) and rewrites the acknowledgement
    // when lines were taken. False when the acknowledgement cannot be
    // written; the lines stay taken.
    bool Poll();

    std::uint64_t LinesTaken() const { return taken_; }
    const std::vector<std::string>& Rejected() const { return rejected_; }

  private:
    void TakeLine(std::string_view line);
    bool WriteAck() const;

    std::string path_;
    std::string ackPath_;
    StickActions& stick_;
    std::uint64_t offset_ = 0;
    std::string partial_;
    bool overlong_ = false;
    std::uint64_t taken_ = 0;
    std::vector<std::string> rejected_;
};

// Writes a whole file under a temporary name and renames it over the old
// one, so that readers see the old content or the new, never a mixture.
bool ReplaceFileContents(const std::string& path, const void* data, std::size_t size);

}  // namespace e2e
