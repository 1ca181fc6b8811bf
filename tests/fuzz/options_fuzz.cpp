// Any command line (arguments split at NUL bytes): accepted with usable
// settings, or refused with a reason.
#include <cstddef>
#include <cstdint>

#include "app/options.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    app::Options options;
    std::string error;
    if (!app::ParseOptions(args, &options, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(options.simInputLength > 0 && options.simOutputLength > 0);
    FUZZ_CHECK(!options.script || !options.scriptPath.empty());
    return 0;
}
