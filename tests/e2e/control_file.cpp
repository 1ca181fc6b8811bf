#include "tests/e2e/control_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "calib/plain_number.h"

namespace e2e {

namespace {

// Reads per poll at most, so that one huge append cannot stall the stick.
constexpr std::size_t kReadChunk = 64 * 1024;
// Rejections kept for the acknowledgement; a runaway writer cannot grow it
// without bound.
constexpr std::size_t kMaxRejected = 100;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// "1 to 4 hex digits": leading zeros count, so 00001 is refused.
bool ParseHex16(std::string_view word, std::uint16_t* value) {
    const std::size_t digits = HasHexPrefix(word) ? word.size() - 2 : word.size();
    std::uint64_t v = 0;
    if (digits > 4 || ReadPlainNumber(word, NumberForm::kHex, 0xFFFF, &v) != NumberRead::kOk) {
        return false;
    }
    *value = static_cast<std::uint16_t>(v);
    return true;
}

// At most five digits, leading zeros counted.
bool ParseDecimal(std::string_view word, int limit, int* value) {
    std::uint64_t v = 0;
    if (word.size() > 5 ||
        ReadPlainNumber(word, NumberForm::kDecimal, static_cast<std::uint64_t>(limit), &v) !=
            NumberRead::kOk) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

// The fault lines: one word after the verb.
bool ParseFaultLine(const std::vector<std::string_view>& words, ControlCommand* command,
                    std::string* error) {
    const std::string_view verb = words[0];
    if (words.size() != 2) {
        *error = std::string(verb) + " takes one value";
        return false;
    }
    const std::string_view word = words[1];
    if (verb == "reply-latency") {
        command->kind = ControlCommand::Kind::kReplyLatency;
        if (ParseDecimal(word, 60000, &command->value)) return true;
        *error = "reply-latency takes milliseconds, 0 to 60000";
    } else if (verb == "ignore-writes") {
        command->kind = ControlCommand::Kind::kIgnoreWrites;
        command->value = word == "on" ? 1 : 0;
        if (word == "on" || word == "off") return true;
        *error = "ignore-writes takes on or off";
    } else {
        command->kind = ControlCommand::Kind::kFlipBit;
        command->value = -1;
        if (word == "none" || ParseDecimal(word, 255, &command->value)) return true;
        *error = "flip-bit takes an address, 0 to 255, or none";
    }
    command->kind = ControlCommand::Kind::kNone;
    return false;
}

}  // namespace

bool ParseControlLine(std::string_view line, ControlCommand* command, std::string* error) {
    *command = ControlCommand{};
    const std::vector<std::string_view> words = Words(line);
    if (words.empty() || words[0][0] == '#') return true;
    const std::string_view verb = words[0];
    if (verb == "axes") {
        if (words.size() != 3) {
            *error = "axes needs X and Y";
            return false;
        }
        if (!ParseHex16(words[1], &command->x) || !ParseHex16(words[2], &command->y)) {
            *error = "axes takes two values of 1 to 4 hex digits";
            return false;
        }
        command->kind = ControlCommand::Kind::kAxes;
        return true;
    }
    if (verb == "unplug" || verb == "plug") {
        if (words.size() != 1) {
            *error = std::string(verb) + " takes nothing more";
            return false;
        }
        command->kind =
            verb == "plug" ? ControlCommand::Kind::kPlug : ControlCommand::Kind::kUnplug;
        return true;
    }
    if (verb == "reply-latency" || verb == "ignore-writes" || verb == "flip-bit") {
        return ParseFaultLine(words, command, error);
    }
    *error = "unknown command '" + std::string(verb.substr(0, 32)) + "'";
    return false;
}

ControlFollower::ControlFollower(std::string controlPath, StickActions& stick)
    : path_(std::move(controlPath)), ackPath_(path_ + ".ack"), stick_(stick) {}

bool ControlFollower::Poll() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return true;  // not written yet
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return true;
    // The harness only ever appends; a file that shrank was made anew and
    // is followed from its start.
    if (static_cast<std::uint64_t>(size) < offset_) {
        offset_ = 0;
        partial_.clear();
        overlong_ = false;
    }
    const std::uint64_t available = static_cast<std::uint64_t>(size) - offset_;
    if (available == 0) return true;
    const std::size_t want = available < kReadChunk ? std::size_t(available) : kReadChunk;
    std::string chunk(want, '\0');
    in.seekg(static_cast<std::streamoff>(offset_));
    in.read(chunk.data(), static_cast<std::streamsize>(want));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    chunk.resize(got);
    offset_ += got;

    const std::uint64_t before = taken_;
    for (const char c : chunk) {
        if (c == '\n') {
            if (overlong_) {
                ++taken_;
                if (rejected_.size() < kMaxRejected) {
                    rejected_.push_back("line " + std::to_string(taken_) + ": longer than " +
                                        std::to_string(kMaxLineLength) + " characters");
                }
            } else {
                TakeLine(partial_);
            }
            partial_.clear();
            overlong_ = false;
        } else if (!overlong_) {
            if (partial_.size() == kMaxLineLength) {
                overlong_ = true;
                partial_.clear();
            } else {
                partial_ += c;
            }
        }
    }
    return taken_ == before || WriteAck();
}

void ControlFollower::TakeLine(std::string_view line) {
    ControlCommand command;
    std::string error;
    const bool ok = ParseControlLine(line, &command, &error);
    switch (command.kind) {
        case ControlCommand::Kind::kAxes:
            stick_.SetAxes(command.x, command.y);
            break;
        case ControlCommand::Kind::kUnplug:
            stick_.Unplug();
            break;
        case ControlCommand::Kind::kPlug:
            stick_.Plug();
            break;
        case ControlCommand::Kind::kReplyLatency:
            stick_.SetReplyLatency(static_cast<std::uint32_t>(command.value));
            break;
        case ControlCommand::Kind::kIgnoreWrites:
            stick_.SetIgnoreWrites(command.value != 0);
            break;
        case ControlCommand::Kind::kFlipBit:
            stick_.SetFlipBitAddress(command.value);
            break;
        case ControlCommand::Kind::kNone:
            break;
    }
    ++taken_;
    if (!ok && rejected_.size() < kMaxRejected) {
        rejected_.push_back("line " + std::to_string(taken_) + ": " + error);
    }
}

bool ControlFollower::WriteAck() const {
    std::string text = std::to_string(taken_) + "\n";
    for (const std::string& r : rejected_) text += r + "\n";
    return ReplaceFileContents(ackPath_, text.data(), text.size());
}

bool ReplaceFileContents(const std::string& path, const void* data, std::size_t size) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return false;
    }
    return true;
}

}  // namespace e2e
