// Any bitmap file: refused, or decoded into no more pixels than its bytes
// can hold, which then draw scaled without leaving the canvas.
#include <cstddef>
#include <cstdint>

#include "term/picture.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    term::Image image;
    if (!term::DecodeBmp(plat::ResourceBytes{data, size}, &image)) return 0;
    FUZZ_CHECK(image.width > 0 && image.height > 0);
    const auto pixels =
        static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
    FUZZ_CHECK(image.pixels.size() == pixels);
    FUZZ_CHECK(pixels * 3 <= size);

    term::PixelCanvas canvas(24, 16, term::Rgb{});
    canvas.Draw(image, -3, 2, 20, 17);
    FUZZ_CHECK(canvas.Pixels().pixels.size() == std::size_t{24} * 16);
    return 0;
}
