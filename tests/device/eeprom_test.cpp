// The EEPROM transfers against the virtual stick: the requests on the wire,
// what the stick's memory holds afterwards, the two diagnostic texts, and
// every way a transfer can fail.
#include <array>
#include <chrono>
#include <optional>
#include <sstream>

#include "tests/device/device_fixture.h"

namespace {

using devtest::Stick;

constexpr std::uint32_t kRate = 200;  // reports/s, so that the reader parks
constexpr std::uint32_t kEvery = sim::StickFaults::kAlways;

// Every field distinct, so that a swap shows: the block is 00..11.
const CalibrationRecord kCounting{0x0100, 0x0302, 0x0504, 0x06,   0x07, 0x08, 0x09,
                                  0x0A,   0x0B,   0x0C,   0x0E0D, 0x0F, 0x10, 0x11};
const CalibrationRecord kSentinel{0xDEAD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A};
// How both diagnostic texts end for that block.
const std::string kCountingBytes = "00 01 02 03 04 05 06 07 \n08 09 0A 0B 0C 0D 0E 0F \n10 11 ";

// The requests of one command as "address " (reads, whose count must be 0x80)
// or "address:count " (writes); anything else wrong is spelled out.
std::string Wire(const sim::VirtualStick& stick, std::uint8_t command, std::uint32_t length) {
    std::ostringstream s;
    for (const sim::Request& r : stick.Requests()) {
        if (r.reportId != 1 || r.command != command) continue;
        const bool write = command == sim::kCmdEepromWrite;
        s << int{r.address};
        if (write || r.count != 0x80) s << ':' << int{r.count};
        if (r.length != length) s << "(length " << r.length << ")";
        for (std::size_t i = 4 + (write ? r.count : 0); i < r.bytes.size(); ++i) {
            if (r.bytes[i] != 0) s << "(byte " << i << " not zero)";
        }
        s << ' ';
    }
    return s.str();
}

class EepromTest : public devtest::DeviceTest {
  protected:
    // Addresses 110..127 hold 0x00..0x11, the rest 0xEE.
    sim::VirtualStick& AttachCounting(const sim::StickSettings& s, const sim::StickFaults& f = {}) {
        sim::VirtualStick& stick = Attach(s, f);
        sim::Eeprom e;
        for (int i = 0; i < 256; ++i) e[i] = i >= 110 && i < 128 ? i - 110 : 0xEE;
        stick.SetEeprom(e);
        dlg_.m_Calib = kSentinel;
        return stick;
    }
};

TEST_F(EepromTest, ReadAsksAtTheCountReceivedSoFarWithTheReaderParked) {
    const struct {
        std::uint16_t in, out;
        sim::StickFaults faults;
        const char* requests;
        bool ok;
    } cases[] = {
        {64, 8, {}, "110 ", true},
        {22, 8, {}, "110 ", true},
        {12, 8, {}, "110 118 126 ", true},
        {9, 8, {}, "110 115 120 125 ", true},
        // Two bytes a reply: the ninth and last attempt completes the block.
        {6, 8, {}, "110 112 114 116 118 120 122 124 126 ", true},
        {65535, 259, {}, "110 ", true},
        {64, 8, {.foreignReportsBeforeReply = 5, .foreignReportId = 7}, "110 ", true},
        {64, 8, {.dropReplies = 2}, "110 110 110 ", true},
        // After the 500 ms window of its attempt.
        {64, 8, {.lateReplies = 1, .lateReplyMs = 700}, "110 110 ", true},
        {64, 8, {.dropReplies = kEvery}, "110 110 110 110 110 110 110 110 110 ", false},
        // Reports that cannot carry a request or a reply, or one data byte
        // a reply (9 of the 18 at most): nothing is sent.
        {5, 8, {}, "", false},
        {4, 8, {}, "", false},
        {0, 8, {}, "", false},
        {64, 4, {}, "", false},
        {64, 260, {}, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "input " << c.in << ", output " << c.out << ", row " << (&c - cases));
        sim::VirtualStick& stick = AttachCounting(Stick(c.in, c.out, kRate), c.faults);
        std::string during = "no box";
        onBox_ = [&] {
            during = "paused " + std::to_string(dlg_.m_bReaderPaused.load()) + ", pending reads " +
                     std::to_string(stick.PendingReads());
        };
        EXPECT_EQ(dlg_.ReadEepromBlock(), c.ok ? 1 : 0);
        onBox_ = nullptr;
        EXPECT_EQ(Wire(stick, sim::kCmdEepromRead, c.out), c.requests);
        EXPECT_EQ(dlg_.m_Calib, c.ok ? kCounting : kSentinel);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>(c.ok, "READ DATA\n" + kCountingBytes));
        EXPECT_EQ(during, c.ok ? "paused 1, pending reads 0" : "no box");
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
        const std::uint64_t consumed = stick.ReportsConsumed();
        EXPECT_TRUE(Eventually([&] { return stick.ReportsConsumed() > consumed; }))
            << "the reader must read again afterwards";
    }
}

// A stick answering late: each reply MS ms after its request, in order.
// Whatever the latency, a read gives the block's own bytes or fails, also
// when it meets the late replies of the read before it; and the read-back
// of a write never takes another address's bytes for the one that came out
// wrong (125 stored with its lowest bit flipped, in the second reply of 8
// data bytes). A 64-byte reply carries the whole block, so there a late one
// cannot lend another address's bytes: one read is enough.
TEST_F(EepromTest, LateRepliesGiveTheRightBytesOrAFailureNeverOthers) {
    std::array<std::uint8_t, 18> written;
    written.fill(0xA5);
    for (const std::uint32_t latency : {0u, 400u, 600u, 800u, 1500u, 3000u}) {
        for (const std::uint16_t in : {12, 64}) {
            SCOPED_TRACE(::testing::Message() << "latency " << latency << " ms, input " << in);
            sim::StickSettings s = Stick(in, 64, kRate);
            s.replyLatencyMs = latency;
            sim::VirtualStick& stick = AttachCounting(s, {.flipBitAddress = 125});
            for (int read = 1; read <= (in == 12 ? 2 : 1); ++read) {
                const int ok = dlg_.ReadEepromBlock();
                EXPECT_EQ(dlg_.m_Calib, ok == 1 ? kCounting : kSentinel) << "read " << read;
                dlg_.m_Calib = kSentinel;
            }
            if (in == 12) {
                EXPECT_NE(dlg_.StoreEepromBlock(written), EepromOutcome::kDone);
                EXPECT_EQ(stick.EepromContents()[125], 0xA4);
            }
            for (const std::string& box : BoxTexts()) {
                EXPECT_EQ(box, "READ DATA\n" + kCountingBytes);
            }
        }
    }
}

// However late a reply, it is another request's only once that request's
// own reply came, to a transfer or to the reader between transfers: a
// request asked 55 s before the next read (a stick answering 60 s late)
// is still passed over, where the queue once forgot it after 10 s and took
// its reply for the next read's.
TEST(ReplyQueue, ARequestIsForgottenOnlyByItsReplyOrTheClose) {
    hidlink::ReplyQueue q;
    q.Sent(110);  // the first read, given up on
    q.BeginTransfer(0);
    q.Sent(110);
    EXPECT_FALSE(q.Answers(110)) << "the first read's late reply";
    EXPECT_TRUE(q.Answers(110));
    // Two replies read by the reader meanwhile answered the two oldest.
    for (std::uint8_t a : {110, 118, 126}) q.Sent(a);
    q.BeginTransfer(2);
    q.Sent(110);
    EXPECT_FALSE(q.Answers(110)) << "the reply to 126";
    EXPECT_TRUE(q.Answers(110));
    q.Sent(110);
    q.Clear();
    q.BeginTransfer(0);
    q.Sent(110);
    EXPECT_TRUE(q.Answers(110)) << "nothing owed after a close";
}

// Replies so late that they come after their read gave up, between reads,
// are taken by the reader; they still answer their requests, so the next
// read is not held off by requests whose replies came long ago.
TEST_F(EepromTest, RepliesTheReaderTookAnswerTheirRequests) {
    sim::StickSettings s = Stick(12, 64, kRate);
    s.replyLatencyMs = 6000;  // past the 9 attempts of about 500 ms
    sim::VirtualStick& stick = AttachCounting(s);
    EXPECT_EQ(dlg_.ReadEepromBlock(), 0);
    const std::size_t asked = stick.Requests().size();
    EXPECT_TRUE(Eventually([&] { return dlg_.m_nRepliesTaken.load() >= asked; }));
    s.replyLatencyMs = 0;
    stick.SetSettings(s);
    EXPECT_EQ(dlg_.ReadEepromBlock(), 1);
    EXPECT_EQ(dlg_.m_Calib, kCounting);
}

// Written is what the stick gives back: a stick that takes the writes and
// keeps nothing, keeps one bit wrong, or says nothing after the write has
// not been written, and each says which. The read-back shows no box and
// leaves m_Calib alone.
TEST_F(EepromTest, WriteCountsOnlyWhenTheStickGivesTheBlockBack) {
    const struct {
        const char* what;
        sim::StickFaults faults;
        EepromOutcome outcome;
        int differing;  // bytes of the block read back different
    } cases[] = {
        {"a good stick", {}, EepromOutcome::kDone, 0},
        {"writes ignored", {.ignoreWrites = true}, EepromOutcome::kDiffers, 18},
        {"a bit flipped at 127", {.flipBitAddress = 127}, EepromOutcome::kDiffers, 1},
        {"a bit flipped at 110", {.flipBitAddress = 110}, EepromOutcome::kDiffers, 1},
        {"no reply", {.dropReplies = kEvery}, EepromOutcome::kNoReply, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::VirtualStick& stick = AttachCounting(Stick(12, 12, kRate), c.faults);
        const CalibrationBlock written = PackCalibrationBlock(kSentinel);
        CalibrationBlock back = written;
        EXPECT_EQ(dlg_.StoreEepromBlock(written, &back), c.outcome);
        int differing = 0;
        for (int i = 0; i < kCalibBlockSize; ++i) differing += back[i] != written[i];
        EXPECT_EQ(differing, c.differing);
        EXPECT_EQ(Wire(stick, sim::kCmdEepromWrite, 12), "110:8 118:8 126:2 ");
        EXPECT_EQ(Wire(stick, sim::kCmdEepromRead, 12).substr(0, 12),
                  c.faults.dropReplies != 0 ? "110 110 110 " : "110 118 126 ");
        EXPECT_EQ(dlg_.m_Calib, kSentinel);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
        EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
    }
}

// A stick pulled out is said at the first refused transfer: the write
// stops after its first chunk, the read after its first attempt, where the
// windows of every chunk and attempt took 10 to 19 s before.
TEST_F(EepromTest, AStickThatWentAwayIsSaidAtOnce) {
    sim::VirtualStick& stick = AttachCounting(Stick(12, 9, kRate));
    stick.Unplug();
    EXPECT_EQ(dlg_.StoreEepromBlock(PackCalibrationBlock(kSentinel)), EepromOutcome::kGone);
    EXPECT_EQ(stick.WritesStarted(), 1u);
    CalibrationBlock block{};
    const std::uint64_t reads = stick.ReadsStarted();
    EXPECT_EQ(dlg_.FetchEepromBlock(&block), EepromOutcome::kGone);
    // The drain's and the attempt's, and the reader's: it retries every few
    // milliseconds until it parks, and a busy machine lets it try more than
    // once. A read that sat out its windows would make hundreds.
    EXPECT_LE(stick.ReadsStarted() - reads, 10u);
    EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
}

TEST_F(EepromTest, ReadWithoutAStickFailsAndLeavesTheReaderFree) {
    dlg_.m_Calib = kSentinel;
    dlg_.m_Caps.InputReportByteLength = dlg_.m_Caps.OutputReportByteLength = 64;
    EXPECT_EQ(dlg_.ReadEepromBlock(), 0);
    EXPECT_EQ(dlg_.m_bPauseReader.load(), 0u);
    EXPECT_EQ(dlg_.m_Calib, kSentinel);
}

// The values are shown first, whatever becomes of the write. The stick
// needs its time to store a chunk: the next, and the read-back after the
// last, come no sooner than a pause after it.
TEST_F(EepromTest, WriteIsChunkedByTheOutputReportLengthAndPaced) {
    // The pause is 250 ms; a little less allows for a clock that ticks
    // coarser than the sleep.
    constexpr long long kLeastPauseMs = 240;
    const std::pair<std::uint16_t, const char*> cases[] = {
        {9, "110:5 115:5 120:5 125:3 "},
        {12, "110:8 118:8 126:2 "},
        {5,
         "110:1 111:1 112:1 113:1 114:1 115:1 116:1 117:1 118:1 119:1 120:1 121:1 122:1 "
         "123:1 124:1 125:1 126:1 127:1 "},
        {22, "110:18 "},
        {259, "110:18 "},
        // Too short for a request, or longer than a report can be: nothing is sent.
        {4, ""},
        {0, ""},
        {260, ""},
        {65535, ""},
    };
    const std::string dataText =
        "DATA\nCenter X:1111, Y:2222\nMin X=3333, Max X = 4444\nMin Y=5555 Max Y=6666\n\n"
        "InitPosX = 0100, InitPosY = 0302\nEdgeSize=0504\nEdgeReduc=06, EdgeShift=07, EdgeBM=08\n"
        "MultInit XN=09,XP=0A,YN=0B,YP=0C\nCenterArea=0E0D\nCenter Reduc=0F,Shift=10,BM=11\n\n" +
        kCountingBytes;
    for (const auto& [out, chunks] : cases) {
        SCOPED_TRACE(::testing::Message() << "output length " << out);
        const bool ok = *chunks != 0;
        sim::VirtualStick& stick = Attach(Stick(64, out, kRate));
        dlg_.m_Calib = kCounting;
        dlg_.m_nCenterX = 0x1111, dlg_.m_nCenterY = 0x2222, dlg_.m_nLeftX = 0x3333;
        dlg_.m_nRightX = 0x4444, dlg_.m_nUpY = 0x5555, dlg_.m_nDownY = 0x6666;
        EXPECT_EQ(dlg_.WriteEepromBlock(), ok);
        EXPECT_EQ(Wire(stick, sim::kCmdEepromWrite, out), chunks);
        std::optional<std::chrono::steady_clock::time_point> lastChunk;
        for (const sim::Request& r : stick.Requests()) {
            if (lastChunk) {
                using std::chrono::milliseconds;
                EXPECT_GE(std::chrono::duration_cast<milliseconds>(r.at - *lastChunk).count(),
                          kLeastPauseMs)
                    << "before the request at " << int{r.address} << " (command " << int{r.command}
                    << ")";
            }
            lastChunk.reset();
            if (r.command == sim::kCmdEepromWrite) lastChunk = r.at;
        }
        if (!ok) {
            EXPECT_EQ(stick.WritesStarted(), 0u);
        }
        std::vector<std::uint8_t> block(20, 0xFF);  // 109..128: the block and either side
        for (int i = 0; ok && i < kCalibBlockSize; ++i) block[1 + i] = static_cast<std::uint8_t>(i);
        const sim::Eeprom e = stick.EepromContents();
        EXPECT_EQ(std::vector<std::uint8_t>(e.begin() + 109, e.begin() + 129), block);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{dataText});
    }
}

TEST_F(EepromTest, WriteReportsFailureButStillSendsEveryChunk) {
    for (const sim::StickFaults& f :
         {sim::StickFaults{.writesFail = true}, sim::StickFaults{.writesNeverComplete = true},
          sim::StickFaults{.writesShort = true}}) {
        sim::VirtualStick& stick = Attach(Stick(64, 12, kRate), f);
        const std::string what = f.writesFail ? "fail" : f.writesShort ? "short" : "never complete";
        EXPECT_FALSE(dlg_.WriteEepromBlock()) << what;
        EXPECT_EQ(stick.WritesStarted(), 3u) << what << ": one attempt per chunk";
        EXPECT_EQ(stick.PendingWrites(), 0u) << what << ": a pending write must be cancelled";
    }
}

}  // namespace
