// Which read request an EEPROM data reply answers. Reply bytes 1..3 promise
// nothing, so a reply is matched by order alone: the stick answers its read
// requests one after the other, each at most once, so the n-th reply that
// arrives answers the n-th request or, when replies went missing, a later
// one. Within a transfer the requests ask at non-decreasing addresses (the
// count received only grows) and the address wanted is never below any
// asked for; so when the oldest unanswered request asked for the address
// wanted now, the reply (to it or to a later request) carries that address
// too. A reply taken for any other request is passed over: a lost or extra
// reply can cost an attempt, never put bytes in the wrong place.
//
// Requests left unanswered by an earlier transfer stay in the queue, never
// to be matched: their late replies are passed over rather than taken for
// this transfer's. They are forgotten once no reply can be that late.
//
// User-interface thread only, like the transfers.
#pragma once

#include <cstdint>
#include <deque>

namespace hidlink {

class ReplyQueue {
  public:
    // A request that may have reached the stick; `now` on the millisecond
    // clock.
    void Sent(std::uint8_t address, std::uint32_t now);
    // A new transfer: what is queued belongs to earlier ones.
    void BeginTransfer(std::uint32_t now);
    // A reply came. True when it carries `wanted` and what follows.
    bool Answers(std::uint8_t wanted);
    // A reply came that no request of this transfer can have asked for yet.
    void PassOver();
    std::size_t Outstanding() const { return queue_.size(); }

    // Longer than any stick takes to answer (late replies of 3 s are
    // handled); a reply later than this may be taken for another.
    static constexpr std::uint32_t kForgetMs = 10000;

  private:
    struct Entry {
        int address;  // -1: asked by an earlier transfer
        std::uint32_t sentAt;
    };
    std::deque<Entry> queue_;
};

}  // namespace hidlink
