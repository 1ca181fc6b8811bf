// Any script text: parsed or refused with a line number, and every command
// parsed within the bounds the runner relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "script/script.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    std::vector<script::ScriptCommand> commands;
    script::ScriptError error;
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (!script::ParseScript(in, &commands, &error)) {
        FUZZ_CHECK(error.line >= 1 && error.line <= lines);
        FUZZ_CHECK(!error.message.empty());
        return 0;
    }
    int previous = 0;
    for (const script::ScriptCommand& c : commands) {
        FUZZ_CHECK(c.line > previous && c.line <= lines);
        previous = c.line;
        const bool key = c.op == script::ScriptOp::kKey || c.op == script::ScriptOp::kKeyDown ||
                         c.op == script::ScriptOp::kKeyUp;
        FUZZ_CHECK(!key || c.vk != 0);
        FUZZ_CHECK(c.ms <= script::kMaxScriptWaitMs);
    }
    int line = 0;
    script::ScriptNeedsVirtualStick(commands, &line);
    return 0;
}
