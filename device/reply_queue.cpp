#include "device/reply_queue.h"

namespace hidlink {

void ReplyQueue::Sent(std::uint8_t address, std::uint32_t now) {
    queue_.push_back({address, now});
}

void ReplyQueue::BeginTransfer(std::uint32_t now) {
    // Oldest first, so the forgotten ones are at the front.
    while (!queue_.empty() && now - queue_.front().sentAt > kForgetMs) queue_.pop_front();
    for (Entry& e : queue_) e.address = -1;
}

void ReplyQueue::PassOver() {
    if (!queue_.empty()) queue_.pop_front();
}

bool ReplyQueue::Answers(std::uint8_t wanted) {
    if (queue_.empty()) return false;  // asked for by nobody
    const int address = queue_.front().address;
    queue_.pop_front();
    return address == wanted;
}

}  // namespace hidlink
