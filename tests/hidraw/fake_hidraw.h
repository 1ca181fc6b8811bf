// Hand-written report descriptors, and a temporary sysfs and /dev for the
// hidraw driver: hidrawN entries with a uevent and a report descriptor, and
// device nodes that are SOCK_SEQPACKET sockets, so whole reports keep their
// boundaries.
//
// The descriptors follow the HID item encoding (prefix byte: tag << 4 |
// type << 2 | size code; data little-endian). Next to each, the lengths
// Windows' capability query gives, derived by its rule: per report id, sum
// Report Size x Report Count over the main items of a kind, round up to
// bytes; take the longest report of the kind and add the id byte (also when
// the device has no ids); 0 when the kind has no report. Each top-level
// collection counts on its own: Windows makes it a device of its own.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace hidraw_test {

using Bytes = std::vector<std::uint8_t>;

// clang-format off
// Shaped like our stick: report 1 carries 56 button bits, X and Y (bytes
// 8..11 with the id) and 4 vendor bytes = 120 bits = 15 bytes; report 2, the
// EEPROM reply, 15 x 8 bits; output report 1, the command, 8 x 8 bits.
// Input 15+1 = 16, output 8+1 = 9, feature 0.
inline const Bytes kStickWithIds = {
    // Joystick, Report ID (1); Buttons 1..56, 0..1, Size 1 x Count 56, Input
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x38,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x38, 0x81, 0x02,
    // Pointer (X, Y), Logical Maximum 65535 (4-byte item), 16 x 2, Input
    0x05, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x09, 0x30, 0x09, 0x31, 0x27, 0xFF, 0xFF, 0x00, 0x00,
    0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xC0,
    // Vendor page, 8 x 4 Input; Report ID (2) 8 x 15 Input; Report ID (1) 8 x 8 Output
    0x06, 0x00, 0xFF, 0x09, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02,
    0x85, 0x02, 0x09, 0x02, 0x95, 0x0F, 0x81, 0x02, 0x85, 0x01, 0x09, 0x03, 0x95, 0x08, 0x91, 0x02,
    0xC0,
};

// No report ids: 5 buttons + 3 padding bits, X and Y of 10 bits + 4 padding
// bits, an 8-bit slider = 40 bits = 5 bytes; an output of 3 bytes, behind a
// long item that must be skipped. Input 5+1 = 6, output 3+1 = 4.
inline const Bytes kStickWithoutIds = {
    // Joystick; Buttons 1..5: 1 x 5 Input, 3 x 1 Constant
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x05,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x05, 0x81, 0x02, 0x75, 0x03, 0x95, 0x01, 0x81, 0x03,
    // X, Y 0..1023: 10 x 2 Input, 4 x 1 Constant; Slider 8 x 1 Input
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x26, 0xFF, 0x03, 0x75, 0x0A, 0x95, 0x02, 0x81, 0x02,
    0x75, 0x04, 0x95, 0x01, 0x81, 0x03, 0x09, 0x36, 0x75, 0x08, 0x81, 0x02,
    // A long item; vendor 8 x 3 Output
    0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC, 0x06, 0x00, 0xFF, 0x09, 0x01, 0x95, 0x03, 0x91, 0x02, 0xC0,
};

// A game pad named by one extended (4-byte) usage, with Push/Pop around a
// report of its own: report 3 = 13 bits; inside the push report 6 = 7 bits;
// Pop restores id 4 with Size 1 x Count 13, so report 4 = 13 bits; feature
// report 5 = 9 bits. Input 2+1 = 3, output 0, feature 2+1 = 3. A Pop that
// lost the id would give report 6 20 bits and an input length of 4.
inline const Bytes kGamePad = {
    // Game Pad; Buttons 1..13; Report ID (3) 1 x 13 Input
    0x0B, 0x05, 0x00, 0x01, 0x00, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x01, 0x29, 0x0D,
    0x15, 0x00, 0x25, 0x01, 0x85, 0x03, 0x75, 0x01, 0x95, 0x0D, 0x81, 0x02,
    // Report ID (4), Push, Report ID (6) 7 x 1 Input, Pop, Input; Report ID (5) 9 x 1 Feature
    0x85, 0x04, 0xA4, 0x85, 0x06, 0x75, 0x07, 0x95, 0x01, 0x81, 0x02, 0xB4, 0x81, 0x02,
    0x85, 0x05, 0x75, 0x09, 0x95, 0x01, 0xB1, 0x02, 0xC0,
};

// The standard USB boot keyboard: 8 input bytes and 5 LED bits + 3 padding.
// Input 8+1 = 9, output 1+1 = 2. Not a controller.
inline const Bytes kKeyboard = {
    // Keyboard; modifiers 1 x 8 Input; a reserved byte
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01,
    // LEDs 1 x 5 Output, 3 x 1 padding; keys 8 x 6 Input
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65,
    0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// Joined to a stick, makes it two devices on Windows: the stick and a
// consumer-control collection with a 100-byte input report 3, whose 101 bytes
// must not become the stick's input length.
inline const Bytes kConsumerCollection = {
    // Consumer Control, Report ID (3), 8 x 100 Input
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x64, 0x09, 0x01, 0x81, 0x02, 0xC0,
};
// clang-format on

inline Bytes Joined(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// kStickWithIds cut in the middle of its Logical Maximum item.
inline const Bytes kTruncated(kStickWithIds.begin(), kStickWithIds.begin() + 38);

// A listening socket at path. A short backlog also keeps the queue of unread
// reports short, so a device that stops reading soon pushes back on writes.
inline int Listen(const std::string& path, int flags = 0, int backlog = 1) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | flags, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    EXPECT_EQ(::listen(fd, backlog), 0) << path;
    return fd;
}

struct FakeTree {
    FakeTree() {
        char pattern[] = "/tmp/kx9-hidraw-XXXXXX";
        root_ = ::mkdtemp(pattern) != nullptr ? pattern : "";
        EXPECT_FALSE(root_.empty()) << "no temporary folder";
        std::filesystem::create_directories(dev());
    }
    ~FakeTree() {
        for (int fd : listeners_) ::close(fd);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string sys() const { return root_ + "/sys"; }
    std::string dev() const { return root_ + "/dev"; }
    std::string node(unsigned n) const { return dev() + "/hidraw" + std::to_string(n); }

    // An entry with a uevent naming hidId; a null hidId or descriptor leaves
    // that file out.
    void AddEntry(unsigned n, const char* hidId, const Bytes* descriptor) {
        const std::string dir = sys() + "/class/hidraw/hidraw" + std::to_string(n) + "/device";
        std::filesystem::create_directories(dir);
        if (hidId != nullptr)
            std::ofstream(dir + "/uevent")
                << "DRIVER=hid-generic\nHID_ID=" << hidId << "\nHID_NAME=Test Stick\n";
        if (descriptor != nullptr)
            std::ofstream(dir + "/report_descriptor", std::ios::binary)
                << std::string(descriptor->begin(), descriptor->end());
    }
    // The node's listening socket, for accept().
    int AddNode(unsigned n) { return listeners_.emplace_back(Listen(node(n))); }
    // A whole entry and its node; returns the node's listening socket.
    int Add(unsigned n, const char* hidId, const Bytes& descriptor) {
        AddEntry(n, hidId, &descriptor);
        return AddNode(n);
    }

    std::string root_;
    std::vector<int> listeners_;
};

}  // namespace hidraw_test
