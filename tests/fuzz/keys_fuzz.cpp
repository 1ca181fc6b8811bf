// Any terminal input: the keys do not depend on how the bytes were split
// into reads, and a flush leaves nothing pending.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "term/keys.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte says how long the reads are.
    const std::size_t chunk = data[0] % 8 + 1;
    ++data, --size;

    term::KeyDecoder whole;
    std::vector<term::Key> once;
    whole.Feed(data, size, &once);
    whole.Flush(&once);
    FUZZ_CHECK(!whole.Pending());

    term::KeyDecoder pieces;
    std::vector<term::Key> split;
    for (std::size_t i = 0; i < size; i += chunk) {
        pieces.Feed(data + i, std::min(chunk, size - i), &split);
    }
    pieces.Flush(&split);
    FUZZ_CHECK(split == once);

    for (const term::Key& key : once) term::VirtualKeyOf(key);
    return 0;
}
