// Any text a device may report: list --json stays one parsable document, and
// what a script decodes from it is the cleaned text, never the controls the
// library's escapes would hand back.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "service/found_sticks.h"
#include "term/clean_text.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Node, name, serial and port, split at NUL bytes.
    std::string fields[4];
    std::size_t field = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && field < 3) {
            ++field;
        } else {
            fields[field] += static_cast<char>(data[i]);
        }
    }
    service::FoundController c;
    c.node = fields[0];
    c.name = fields[1];
    c.serial = fields[2];
    c.port = fields[3];
    c.vidPid = size > 0 ? data[0] * 0x01010101u : 0;

    const std::string text = service::ListJson({c, c}, 1);
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    FUZZ_CHECK(!document.is_discarded());
    const nlohmann::json& list = document.at("controllers");
    FUZZ_CHECK(list.size() == 2);
    const char* keys[] = {"node", "name", "serial", "port"};
    for (const nlohmann::json& entry : list) {
        for (int k = 0; k < 4; ++k) {
            FUZZ_CHECK(entry.at(keys[k]).get<std::string>() == term::CleanText(fields[k]));
        }
    }
    FUZZ_CHECK(list[1].at("selected") == true && list[0].at("selected") == false);
    return 0;
}
