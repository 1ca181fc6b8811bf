#include "device/reply_queue.h"

namespace hidlink {

void ReplyQueue::Sent(std::uint8_t address) {
    queue_.push_back(address);
}

void ReplyQueue::BeginTransfer(std::uint32_t takenByReader) {
    // Unsigned difference: right across the counter's wrap.
    for (std::uint32_t n = takenByReader - takenByReader_; n > 0 && !queue_.empty(); --n) {
        queue_.pop_front();
    }
    takenByReader_ = takenByReader;
    for (int& address : queue_) address = -1;
}

void ReplyQueue::PassOver() {
    if (!queue_.empty()) queue_.pop_front();
}

bool ReplyQueue::Answers(std::uint8_t wanted) {
    if (queue_.empty()) return false;  // asked for by nobody
    const int address = queue_.front();
    queue_.pop_front();
    return address == wanted;
}

void ReplyQueue::Clear() {
    queue_.clear();
    takenByReader_ = 0;
}

}  // namespace hidlink
