#include "platform/posix/hidraw_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace plat::hidraw {
namespace {

constexpr std::string_view kHidrawPrefix = "hidraw";

// Up to 8 hex digits, nothing else.
bool ParseHexField(std::string_view text, std::uint32_t* value) {
    if (text.empty() || text.size() > 8) return false;
    std::uint32_t v = 0;
    for (char c : text) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        v = (v << 4) | digit;
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseHidrawName(std::string_view name, unsigned* number) {
    if (name.size() <= kHidrawPrefix.size() ||
        name.substr(0, kHidrawPrefix.size()) != kHidrawPrefix) {
        return false;
    }
    const std::string_view digits = name.substr(kHidrawPrefix.size());
    // The kernel numbers minors well below this; longer is not ours, and a
    // leading zero would name another entry than the one we build paths for.
    if (digits.size() > 6 || (digits.size() > 1 && digits[0] == '0')) return false;
    unsigned n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    *number = n;
    return true;
}

std::vector<unsigned> ListHidrawNumbers(const std::string& sysfsRoot) {
    std::vector<unsigned> numbers;
    DIR* dir = ::opendir((sysfsRoot + "/class/hidraw").c_str());
    if (dir == nullptr) return numbers;
    while (const dirent* entry = ::readdir(dir)) {
        unsigned n;
        if (ParseHidrawName(entry->d_name, &n)) numbers.push_back(n);
    }
    ::closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string DeviceDir(const std::string& sysfsRoot, unsigned number) {
    return sysfsRoot + "/class/hidraw/hidraw" + std::to_string(number) + "/device";
}

std::string NodePath(const std::string& devRoot, unsigned number) {
    return devRoot + "/hidraw" + std::to_string(number);
}

bool ReadAttribute(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes) {
    // Non-blocking so that a FIFO planted in the tree cannot hang discovery;
    // it is then rejected as not a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // Sysfs reports a size of 4096 whatever the content, so read to the end.
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > limit) {
            ok = false;
            break;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
    ::close(fd);
    if (ok) *bytes = std::move(out);
    return ok;
}

bool ParseUevent(std::string_view uevent, HidIdentity* identity) {
    HidIdentity found;
    bool haveId = false;
    while (!uevent.empty()) {
        const std::size_t end = uevent.find('\n');
        const std::string_view line = uevent.substr(0, end);
        uevent = end == std::string_view::npos ? std::string_view{} : uevent.substr(end + 1);

        if (line.substr(0, 7) == "HID_ID=") {
            const std::string_view value = line.substr(7);
            const std::size_t a = value.find(':');
            const std::size_t b = a == std::string_view::npos ? a : value.find(':', a + 1);
            if (b == std::string_view::npos) return false;
            std::uint32_t bus, vendor, product;
            if (!ParseHexField(value.substr(0, a), &bus) ||
                !ParseHexField(value.substr(a + 1, b - a - 1), &vendor) ||
                !ParseHexField(value.substr(b + 1), &product) || vendor > 0xFFFF ||
                product > 0xFFFF) {
                return false;
            }
            found.bus = bus;
            found.vendor = static_cast<std::uint16_t>(vendor);
            found.product = static_cast<std::uint16_t>(product);
            haveId = true;
        } else if (line.substr(0, 9) == "HID_NAME=") {
            found.name = std::string(line.substr(9));
        } else if (line.substr(0, 9) == "HID_UNIQ=") {
            found.serial = std::string(line.substr(9));
        } else if (line.substr(0, 9) == "HID_PHYS=") {
            found.port = std::string(line.substr(9));
        }
    }
    if (!haveId) return false;
    *identity = std::move(found);
    return true;
}

bool ReadIdentity(const std::string& sysfsRoot, unsigned number, HidIdentity* identity) {
    std::vector<std::uint8_t> bytes;
    if (!ReadAttribute(DeviceDir(sysfsRoot, number) + "/uevent", kMaxAttributeBytes, &bytes)) {
        return false;
    }
    return ParseUevent(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       identity);
}

bool ReadDescriptor(const std::string& sysfsRoot, unsigned number,
                    std::vector<std::uint8_t>* descriptor) {
    return ReadAttribute(DeviceDir(sysfsRoot, number) + "/report_descriptor", kMaxAttributeBytes,
                         descriptor);
}

bool HidrawNumberOfDevice(const std::string& sysfsRoot, unsigned long long rdev, unsigned* number) {
    const dev_t device = static_cast<dev_t>(rdev);
    const std::string link = sysfsRoot + "/dev/char/" + std::to_string(major(device)) + ":" +
                             std::to_string(minor(device));
    char target[4096];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return false;
    // .../hidraw/hidrawN
    const std::string_view path(target, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || path.substr(0, slash).size() < 7 ||
        path.substr(slash - 7, 7) != "/hidraw") {
        return false;
    }
    return ParseHidrawName(path.substr(slash + 1), number);
}

bool NodeExists(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    return S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode);
}

}  // namespace plat::hidraw
