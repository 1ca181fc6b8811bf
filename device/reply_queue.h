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
// this transfer's, however late they come. A request is forgotten only when
// a reply has come for it (to a transfer, or to the reader between
// transfers) or the link has closed: no time is long enough to tell that a
// reply will not come.
//
// User-interface thread only, like the transfers.
#pragma once

#include <cstdint>
#include <deque>

namespace hidlink {

class ReplyQueue {
  public:
    // A request that may have reached the stick.
    void Sent(std::uint8_t address);
    // A new transfer: what is queued belongs to earlier ones. `takenByReader`
    // counts the replies the reader has read since the link opened; those
    // since the last transfer answered the oldest requests.
    void BeginTransfer(std::uint32_t takenByReader);
    // A reply came. True when it carries `wanted` and what follows.
    bool Answers(std::uint8_t wanted);
    // A reply came that no request of this transfer can have asked for yet.
    void PassOver();
    // The link closed: no reply to anything asked comes any more.
    void Clear();
    std::size_t Outstanding() const { return queue_.size(); }

  private:
    std::deque<int> queue_;  // the address asked for; -1: asked by an earlier transfer
    std::uint32_t takenByReader_ = 0;
};

}  // namespace hidlink
