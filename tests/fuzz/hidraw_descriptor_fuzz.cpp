// Any report descriptor: accepted or refused with a reason, and the report
// lengths of an accepted one within what its items can declare: no longer
// than all main items of that kind at the largest size and count together,
// and 0 when it has none of that kind (the lengths are those of one
// top-level collection, so another collection's items may leave them 0).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/posix/hidraw_descriptor.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Declared {
    unsigned __int128 largestSize = 0;
    unsigned __int128 largestCount = 0;
    unsigned mains[3] = {0, 0, 0};  // input, output, feature
    bool reportId = false;

    // Bytes plus the id byte, as the lengths are given.
    unsigned __int128 Bound(int kind) const {
        return (mains[kind] * largestSize * largestCount + 7) / 8 + 1;
    }
};

// A walk over the short and long items that keeps only the extremes.
Declared Walk(const std::uint8_t* data, std::size_t size) {
    Declared d;
    for (std::size_t pos = 0; pos < size;) {
        const std::uint8_t prefix = data[pos];
        if (prefix == 0xFE) {
            pos += 3 + (pos + 1 < size ? data[pos + 1] : 0);
            continue;
        }
        const std::size_t length = prefix & 3 ? 1u << ((prefix & 3) - 1) : 0;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < length && pos + 1 + i < size; ++i) {
            value |= std::uint32_t{data[pos + 1 + i]} << (8 * i);
        }
        pos += 1 + length;
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 0 && tag == 0x8) ++d.mains[0];
        if (type == 0 && tag == 0x9) ++d.mains[1];
        if (type == 0 && tag == 0xB) ++d.mains[2];
        if (type == 1 && tag == 0x7)
            d.largestSize = std::max<unsigned __int128>(d.largestSize, value);
        if (type == 1 && tag == 0x9) {
            d.largestCount = std::max<unsigned __int128>(d.largestCount, value);
        }
        if (type == 1 && tag == 0x8) d.reportId = true;
    }
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const plat::hidraw::DescriptorFacts facts = plat::hidraw::ParseReportDescriptor(data, size);
    if (!facts.valid) {
        FUZZ_CHECK(facts.problem != nullptr && std::strlen(facts.problem) > 0);
        return 0;
    }
    const Declared declared = Walk(data, size);
    const std::uint16_t lengths[3] = {facts.inputLength, facts.outputLength, facts.featureLength};
    for (int kind = 0; kind < 3; ++kind) {
        FUZZ_CHECK(lengths[kind] == 0 || declared.mains[kind] != 0);
        FUZZ_CHECK(lengths[kind] <= declared.Bound(kind));
    }
    FUZZ_CHECK(facts.numbered == declared.reportId);
    // The link takes input reports by these ids: a collection with input
    // reports must name at least one, and one without must name none.
    FUZZ_CHECK((facts.inputLength == 0) == facts.inputIds.none());
    return 0;
}
