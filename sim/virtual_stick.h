// The virtual stick: the stick's firmware (sim/stick_firmware.h) behind the
// HID seam, so the dialog, the terminal front-end and every device test can
// run without hardware. One SimHidDriver holds a list of attached game
// controllers; some of them are virtual sticks that stream axis reports,
// answer EEPROM read requests with data reports after their reply latency
// and store EEPROM write requests.
//
// Every method is safe to call from any thread. Completion is reported the
// Windows way: the IoRecord's event is reset when an operation starts and
// signalled when it completes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/hid.h"
#include "sim/stick_firmware.h"

namespace sim {

// Product id 0x0402 in the high half, vendor id 0x0F3D in the low half: the
// layout in which the input system reports it.
inline constexpr std::uint32_t kStickVidPid = 0x04020F3Du;
inline constexpr char16_t kStickPath[] =
    u"\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The stick as it presents itself. Changing settings of a plugged stick
// affects handles opened afterwards (report lengths are part of the
// capabilities) and reports sent afterwards.
struct StickSettings {
    std::uint32_t vidPid = kStickVidPid;
    std::u16string path = kStickPath;
    // Whole report lengths, report id byte included, as the capability query
    // gives them.
    std::uint16_t inputReportLength = 64;
    std::uint16_t outputReportLength = 64;
    std::uint8_t axisReportId = 1;
    // Axis reports per second; 0 sends them only when asked (SendReport).
    std::uint32_t reportsPerSecond = 125;
    // From the request being written to the data reply, for each request.
    std::uint32_t replyLatencyMs = 2;
    // From WriteFile to its completion.
    std::uint32_t writeLatencyMs = 1;
    // Reports kept per open handle while nobody reads (the HID class
    // driver's ring); the oldest is lost when it is full.
    std::uint32_t bufferedReports = 32;
    // The serial number the stick reports (the kernel's HID_UNIQ); empty
    // when it has none.
    std::string serial = {};
};

// Misbehaviour on demand. Counters ("next N") count down as they are used.
struct StickFaults {
    static constexpr std::uint32_t kAlways = 0xFFFFFFFFu;

    std::uint32_t dropReplies = 0;  // next N read requests go unanswered
    // Next N replies come lateReplyMs later. The stick answers in order, so
    // a late reply holds back the replies to requests after it.
    std::uint32_t lateReplies = 0;
    std::uint32_t lateReplyMs = 1000;
    // Reports of foreignReportId sent just before each reply.
    std::uint32_t foreignReportsBeforeReply = 0;
    std::uint8_t foreignReportId = 1;
    // Every report delivered with this many bytes (0: whole reports).
    std::uint16_t shortReportLength = 0;
    bool readsCompleteAtOnce =
        false;                // Read returns kCompleted (with a buffered report or 0 bytes)
    bool writesFail = false;  // Write returns kFailed
    bool writesNeverComplete = false;   // Write stays pending until cancelled
    bool writesCompleteAtOnce = false;  // Write returns kCompleted
    bool writesShort = false;           // completes with one byte less, not stored
    bool attributesFail = false;
    bool preparsedDataFail = false;
    bool capsFail = false;
    bool openFails = false;  // Open fails although the stick is plugged
    // Write requests are accepted (they complete whole) and nothing is
    // stored.
    bool ignoreWrites = false;
    // -1: none. Else a write request that stores this EEPROM address stores
    // it with its lowest bit flipped.
    int flipBitAddress = -1;
};

// A request as the stick received it (only requests that reached it: writes
// that completed).
struct Request {
    std::uint8_t reportId = 0;
    std::uint8_t command = 0;
    std::uint8_t address = 0;
    std::uint8_t count = 0;  // byte 3 (0x80 for reads)
    std::uint32_t length = 0;
    std::vector<std::uint8_t> bytes;
    // When it reached the stick.
    std::chrono::steady_clock::time_point at;
};

// A game controller in the list that is not a virtual stick, or whose
// identity cannot be read.
struct ControllerInfo {
    std::uint32_t vidPid = 0;
    std::u16string path;
    bool createFails = false;
    bool vidPidUnreadable = false;
    bool pathUnreadable = false;
};

class SimHidDriver;

class VirtualStick {
  public:
    VirtualStick(const VirtualStick&) = delete;
    VirtualStick& operator=(const VirtualStick&) = delete;

    StickSettings Settings() const;
    void SetSettings(const StickSettings& settings);
    StickFaults Faults() const;
    void SetFaults(const StickFaults& faults);

    // The axes that every following axis report carries.
    void SetAxes(std::uint16_t x, std::uint16_t y);
    std::uint16_t X() const;
    std::uint16_t Y() const;
    // One axis report now, whatever the rate.
    void SendReport();
    // A report of any content now; delivered with bytes.size() bytes (at
    // most 65535).
    void SendRawReport(const std::vector<std::uint8_t>& bytes);

    // Unplugging fails every pending operation, kills the open handles for
    // good and hides the stick from the controller list; plugging it in
    // again makes it openable (with new handles) and listed again, and at
    // rest: centred, whatever the axes were when it was pulled.
    void Unplug();
    void Plug();
    bool Plugged() const;

    Eeprom EepromContents() const;
    void SetEeprom(const Eeprom& contents);
    // Keeps the EEPROM somewhere (a file) that another program may change
    // between uses, both called under the driver's lock. `load` is called as
    // a handle opens, and what it gives becomes the EEPROM, so that the
    // stick holds what was last stored, whoever stored it; false fails the
    // open, as a stick whose memory cannot be read would fail. `store` is
    // called with the new contents after each write request has changed
    // them; false takes the change back and fails the request, so the
    // writer sees its write fail rather than believe in a store that was
    // not kept.
    using EepromLoad = std::function<bool(Eeprom&)>;
    using EepromStore = std::function<bool(const Eeprom&)>;
    void SetEepromBacking(EepromLoad load, EepromStore store);

    std::vector<Request> Requests() const;
    void ClearRequests();

    // Reports sent by the stick; handed to a read; lost from a full buffer.
    std::uint64_t ReportsSent() const;
    std::uint64_t ReportsConsumed() const;
    std::uint64_t ReportsLost() const;
    void ResetCounters();
    // Read and Write calls on this stick's handles, failed ones included.
    std::uint64_t ReadsStarted() const;
    std::uint64_t WritesStarted() const;
    std::size_t PendingReads() const;
    std::size_t PendingWrites() const;
    std::size_t OpenHandles() const;

    // Condition waits for tests; false when the limit passed first.
    bool WaitForPendingReads(std::size_t count, std::chrono::milliseconds limit) const;
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

  private:
    friend class SimHidDriver;
    friend class SimInputSystem;
    friend class SimInputDevice;
    VirtualStick(SimHidDriver& driver, std::size_t index, const StickSettings& settings);

    SimHidDriver& driver_;
    std::size_t index_;
    // All state below is guarded by the driver's mutex.
    StickSettings settings_;
    StickFaults faults_;
    bool plugged_ = true;
    std::uint16_t x_ = kCentre;
    std::uint16_t y_ = kCentre;
    Eeprom eeprom_;
    EepromLoad load_;
    EepromStore store_;
    std::vector<Request> requests_;
    std::uint64_t sent_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint64_t lost_ = 0;
    std::uint64_t readsStarted_ = 0;
    std::uint64_t writesStarted_ = 0;
    // Bumped by Unplug so that replies scheduled before it are not sent.
    std::uint64_t generation_ = 0;
    std::chrono::steady_clock::time_point nextReport_;
    // When the last reply scheduled goes out: none goes out before it.
    std::chrono::steady_clock::time_point lastReplyAt_;
};

class SimHidDriver final : public plat::HidDriver {
  public:
    SimHidDriver();
    ~SimHidDriver() override;
    SimHidDriver(const SimHidDriver&) = delete;
    SimHidDriver& operator=(const SimHidDriver&) = delete;

    // Appends to the controller list; enumeration reports controllers in the
    // order they were added. The stick lives as long as the driver.
    VirtualStick& AddStick(const StickSettings& settings = StickSettings{});
    void AddController(const ControllerInfo& info);

    bool CreateInputSystem(plat::InputSystem** system) override;
    plat::Handle Open(const char* path) override;
    bool Close(plat::Handle device) override;
    bool GetAttributes(plat::Handle device, plat::HidAttributes* attributes) override;
    bool GetPreparsedData(plat::Handle device, plat::PreparsedData* data) override;
    bool GetCaps(plat::PreparsedData data, plat::HidCaps* caps) override;
    void FreePreparsedData(plat::PreparsedData data) override;
    plat::IoStart Read(plat::Handle device, void* buffer, std::uint32_t length,
                       plat::IoRecord* io) override;
    plat::IoStart Write(plat::Handle device, const void* buffer, std::uint32_t length,
                        plat::IoRecord* io) override;
    bool GetResult(plat::Handle device, plat::IoRecord* io, std::uint32_t* transferred) override;
    void Cancel(plat::Handle device, plat::IoRecord* io) override;

    // Input systems and preparsed data not yet released (leak checks).
    std::size_t LiveInputSystems() const;
    std::size_t LivePreparsedData() const;

  private:
    friend class VirtualStick;
    friend class SimInputSystem;
    friend class SimInputDevice;

    using Clock = std::chrono::steady_clock;
    struct OpenFile;
    struct Controller {
        ControllerInfo info;
        VirtualStick* stick = nullptr;  // null for other controllers
    };
    struct Timed {
        enum class Kind { kReply, kWriteDone } kind;
        std::size_t stick;
        std::uint64_t file = 0;  // kWriteDone: the handle's id
        std::uint64_t write = 0;
        std::uint64_t generation = 0;  // kReply: the stick's at request time
        std::uint8_t address = 0;
    };

    OpenFile* FindFile(plat::Handle device) const;
    void Deliver(VirtualStick& stick, const std::uint8_t* bytes, std::uint32_t count);
    void SendAxisReport(VirtualStick& stick);
    void SendReply(VirtualStick& stick, std::uint8_t address);
    void CompleteWrite(std::uint64_t file, std::uint64_t write);
    // False when a write request was not kept (its store failed).
    bool Receive(VirtualStick& stick, const std::vector<std::uint8_t>& report);
    void KillFiles(VirtualStick& stick);
    void FailPending(OpenFile& file);
    void Schedule(Clock::time_point when, const Timed& what);
    void Changed();
    void Run();
    template <class Pred>
    bool WaitFor(std::chrono::milliseconds limit, Pred pred) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;     // the timer thread
    mutable std::condition_variable changed_;  // condition waits of tests
    bool stopping_ = false;
    std::vector<std::unique_ptr<VirtualStick>> sticks_;
    std::vector<Controller> controllers_;
    std::map<std::uint64_t, std::unique_ptr<OpenFile>> files_;
    std::uint64_t nextId_ = 1;
    std::multimap<Clock::time_point, Timed> timers_;
    std::size_t liveSystems_ = 0;
    std::vector<void*> liveParsed_;
    std::vector<std::uint8_t> scratch_;  // the axis report being sent
    std::thread thread_;
};

}  // namespace sim
