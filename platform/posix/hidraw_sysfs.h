// The hidraw class in sysfs: which hidrawN exist, their uevent identity and
// report descriptor, and the device node each one has. Roots are parameters
// so tests can lay out a fake tree in a temporary folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat::hidraw {

// Sysfs attributes are small; anything larger is not one.
inline constexpr std::size_t kMaxAttributeBytes = 64 * 1024;

// The numbers N of <sysfsRoot>/class/hidraw/hidrawN, ascending.
std::vector<unsigned> ListHidrawNumbers(const std::string& sysfsRoot);

// "hidraw17" -> 17. Only the exact form counts.
bool ParseHidrawName(std::string_view name, unsigned* number);

// <sysfsRoot>/class/hidraw/hidrawN/device, where uevent and report_descriptor are.
std::string DeviceDir(const std::string& sysfsRoot, unsigned number);
// <devRoot>/hidrawN.
std::string NodePath(const std::string& devRoot, unsigned number);

// A whole regular file of at most `limit` bytes; false for anything else
// (missing, unreadable, not a regular file, larger).
bool ReadAttribute(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes);

struct HidIdentity {
    std::uint32_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string name;    // HID_NAME, may be empty
    std::string serial;  // HID_UNIQ, may be empty
    std::string port;    // HID_PHYS (where it is plugged in), may be empty
};

// The HID_ID=bus:vendor:product line (hex, up to 8 digits each) of a uevent
// file; false when it is missing or malformed or an id does not fit 16 bits.
bool ParseUevent(std::string_view uevent, HidIdentity* identity);

// Reads and parses <DeviceDir>/uevent.
bool ReadIdentity(const std::string& sysfsRoot, unsigned number, HidIdentity* identity);
// Reads <DeviceDir>/report_descriptor.
bool ReadDescriptor(const std::string& sysfsRoot, unsigned number,
                    std::vector<std::uint8_t>* descriptor);

// The hidraw number of a character device, from its <sysfsRoot>/dev/char
// link; false when sysfs does not name it a hidraw device.
bool HidrawNumberOfDevice(const std::string& sysfsRoot, unsigned long long rdev, unsigned* number);

// Whether a device node (or a socket standing in for one) exists at path.
bool NodeExists(const std::string& path);

}  // namespace plat::hidraw
