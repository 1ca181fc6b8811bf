#include "platform/posix/hidraw_descriptor.h"

#include <algorithm>
#include <array>

namespace plat::hidraw {
namespace {

// Item prefix: tag in the high nibble, type in bits 2..3, data size code in
// bits 0..1 (0, 1, 2 or 4 bytes).
enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};
enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};
enum LocalTag : std::uint8_t { kUsage = 0x0 };

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint32_t kApplicationCollection = 0x01;
constexpr std::uint16_t kGenericDesktopPage = 0x01;
constexpr std::uint16_t kJoystickUsage = 0x04;
constexpr std::uint16_t kGamePadUsage = 0x05;

// Windows keeps report lengths in 16 bits, id byte included.
constexpr std::uint64_t kMaxReportBits = std::uint64_t{0xFFFF - 1} * 8;

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct Locals {
    bool haveUsage = false;
    std::uint32_t usage = 0;
    bool extended = false;  // 4-byte usage: its page is in the high half
};

// Bits per report, by kind (input, output, feature) and report id.
struct ReportTable {
    std::array<std::array<std::uint64_t, 256>, 3> bits{};
    std::array<std::array<bool, 256>, 3> present{};

    void Add(int kind, std::uint32_t id, std::uint64_t more) {
        bits[kind][id] += more;
        present[kind][id] = true;
    }

    std::uint16_t Length(int kind) const {
        std::uint64_t longest = 0;
        bool any = false;
        for (int id = 0; id < 256; ++id) {
            if (!present[kind][id]) continue;
            any = true;
            longest = std::max(longest, (bits[kind][id] + 7) / 8);
        }
        return any ? static_cast<std::uint16_t>(longest + 1) : 0;
    }
};

DescriptorFacts Reject(const char* problem) {
    DescriptorFacts facts;
    facts.problem = problem;
    return facts;
}

}  // namespace

DescriptorFacts ParseReportDescriptor(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size == 0) return Reject("empty");

    DescriptorFacts facts;
    // The whole descriptor's reports, to bound their lengths, and those of
    // the two top-level collections that may be the matched one.
    ReportTable all;
    ReportTable firstApplication;
    ReportTable firstController;
    // Where the reports of the top-level collection being read are counted.
    ReportTable* into[2] = {nullptr, nullptr};
    Globals globals;
    std::array<Globals, kMaxPushDepth> pushed;
    int pushDepth = 0;
    Locals locals;
    int depth = 0;
    bool haveTopLevel = false;
    bool haveController = false;

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = data[pos];
        if (prefix == kLongItemPrefix) {
            // bDataSize, bLongItemTag, then the data: nothing we use.
            if (size - pos < 3) return Reject("truncated long item");
            const std::size_t length = data[pos + 1];
            if (size - pos - 3 < length) return Reject("truncated long item");
            pos += 3 + length;
            continue;
        }
        static constexpr std::size_t kDataBytes[4] = {0, 1, 2, 4};
        const std::size_t length = kDataBytes[prefix & 0x3];
        if (size - pos - 1 < length) return Reject("truncated item");
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length; ++i) {
            value |= std::uint32_t{data[pos + 1 + i]} << (8 * i);
        }
        const auto type = static_cast<std::uint8_t>((prefix >> 2) & 0x3);
        const auto tag = static_cast<std::uint8_t>(prefix >> 4);
        pos += 1 + length;

        if (type == kMain) {
            int kind = -1;
            switch (tag) {
                case kInput:
                    kind = 0;
                    break;
                case kOutput:
                    kind = 1;
                    break;
                case kFeature:
                    kind = 2;
                    break;
                case kCollection: {
                    if (depth == kMaxCollectionDepth) return Reject("collections nested too deep");
                    if (depth == 0) {
                        const std::uint16_t page =
                            locals.extended ? static_cast<std::uint16_t>(locals.usage >> 16)
                                            : static_cast<std::uint16_t>(globals.usagePage);
                        const auto usage = static_cast<std::uint16_t>(locals.usage & 0xFFFF);
                        const bool application = value == kApplicationCollection;
                        const bool controller = application && page == kGenericDesktopPage &&
                                                (usage == kJoystickUsage || usage == kGamePadUsage);
                        if ((!haveTopLevel && application) || (controller && !haveController)) {
                            facts.usagePage = page;
                            facts.usage = usage;
                        }
                        into[0] = application && !haveTopLevel ? &firstApplication : nullptr;
                        into[1] = controller && !haveController ? &firstController : nullptr;
                        haveTopLevel = haveTopLevel || application;
                        haveController = haveController || controller;
                    }
                    ++depth;
                    break;
                }
                case kEndCollection:
                    if (depth == 0) return Reject("end collection without collection");
                    if (--depth == 0) into[0] = into[1] = nullptr;
                    break;
                default:
                    break;  // reserved main tags carry nothing we count
            }
            if (kind >= 0) {
                const std::uint64_t bits =
                    std::uint64_t{globals.reportSize} * std::uint64_t{globals.reportCount};
                const std::uint64_t total = all.bits[kind][globals.reportId];
                if (bits > kMaxReportBits || total + bits > kMaxReportBits) {
                    return Reject("report too long");
                }
                all.Add(kind, globals.reportId, bits);
                for (ReportTable* table : into) {
                    if (table != nullptr) table->Add(kind, globals.reportId, bits);
                }
            }
            locals = Locals{};
        } else if (type == kGlobal) {
            switch (tag) {
                case kUsagePage:
                    globals.usagePage = value;
                    break;
                case kReportSize:
                    globals.reportSize = value;
                    break;
                case kReportCount:
                    globals.reportCount = value;
                    break;
                case kReportId:
                    if (value == 0 || value > 255) return Reject("report id out of range");
                    globals.reportId = value;
                    facts.numbered = true;
                    break;
                case kPush:
                    if (pushDepth == kMaxPushDepth) return Reject("push nested too deep");
                    pushed[pushDepth++] = globals;
                    break;
                case kPop:
                    if (pushDepth == 0) return Reject("pop without push");
                    globals = pushed[--pushDepth];
                    break;
                default:
                    break;  // logical/physical ranges, units: not needed
            }
        } else if (type == kLocal) {
            // A collection is named by its first usage.
            if (tag == kUsage && !locals.haveUsage) {
                locals.haveUsage = true;
                locals.usage = value;
                locals.extended = length == 4;
            }
        }
        // kReserved items are skipped like unknown ones.
    }

    if (depth != 0) return Reject("unbalanced collections");
    if (!haveTopLevel) return Reject("no top-level application collection");

    facts.valid = true;
    facts.problem = "";
    facts.gameController = haveController;
    const ReportTable& matched = haveController ? firstController : firstApplication;
    facts.inputLength = matched.Length(0);
    facts.outputLength = matched.Length(1);
    facts.featureLength = matched.Length(2);
    for (std::size_t id = 0; id < 256; ++id) facts.inputIds[id] = matched.present[0][id];
    return facts;
}

}  // namespace plat::hidraw
