// Any uevent file: the identity it gives, written back as a uevent, reads
// back the same; and any entry name taken for hidrawN is exactly that name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/posix/hidraw_sysfs.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    unsigned number = 0;
    if (plat::hidraw::ParseHidrawName(text, &number)) {
        FUZZ_CHECK(text == "hidraw" + std::to_string(number));
    }

    plat::hidraw::HidIdentity identity;
    if (!plat::hidraw::ParseUevent(text, &identity)) return 0;
    FUZZ_CHECK(identity.name.find('\n') == std::string::npos);
    char id[64];
    std::snprintf(id, sizeof id, "HID_ID=%04X:%08X:%08X\n", static_cast<unsigned>(identity.bus),
                  static_cast<unsigned>(identity.vendor), static_cast<unsigned>(identity.product));
    const std::string written =
        "DRIVER=hid-generic\n" + std::string(id) + "HID_NAME=" + identity.name + "\nHID_UNIQ=\n";
    plat::hidraw::HidIdentity again;
    FUZZ_CHECK(plat::hidraw::ParseUevent(written, &again));
    FUZZ_CHECK(again.bus == identity.bus && again.vendor == identity.vendor &&
               again.product == identity.product && again.name == identity.name);
    return 0;
}
