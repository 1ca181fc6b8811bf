// A temporary sysfs and /dev for the hidraw driver: hidrawN entries with a
// uevent and a report descriptor, and device nodes that are SOCK_SEQPACKET
// sockets, so whole reports keep their boundaries.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/hidraw/descriptors.h"

namespace hidraw_test {

class FakeTree {
  public:
    FakeTree() {
        char pattern[] = "/tmp/kx9-hidraw-XXXXXX";
        root_ = ::mkdtemp(pattern) != nullptr ? pattern : "";
        EXPECT_FALSE(root_.empty()) << "no temporary folder";
        std::filesystem::create_directories(sys() + "/class/hidraw");
        std::filesystem::create_directories(dev());
    }
    ~FakeTree() {
        for (int fd : listeners_) ::close(fd);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;

    std::string sys() const { return root_ + "/sys"; }
    std::string dev() const { return root_ + "/dev"; }
    std::string node(unsigned n) const { return dev() + "/hidraw" + std::to_string(n); }

    static std::string Uevent(const char* hidId, const char* name = "Test Stick") {
        return std::string("DRIVER=hid-generic\nHID_ID=") + hidId + "\nHID_NAME=" + name +
               "\nHID_PHYS=usb-0000:00:14.0-1/input0\nMODALIAS=hid:b0003\n";
    }

    // An entry; a null uevent or descriptor leaves that file out.
    void AddEntry(unsigned n, const std::string* uevent, const Bytes* descriptor) {
        const std::string dir = sys() + "/class/hidraw/hidraw" + std::to_string(n) + "/device";
        std::filesystem::create_directories(dir);
        if (uevent != nullptr) std::ofstream(dir + "/uevent") << *uevent;
        if (descriptor != nullptr) {
            std::ofstream(dir + "/report_descriptor", std::ios::binary)
                .write(reinterpret_cast<const char*>(descriptor->data()),
                       static_cast<std::streamsize>(descriptor->size()));
        }
    }

    // A listening socket at the node; returns it for Accept().
    int AddNode(unsigned n) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = node(n);
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
        // A backlog of 1 also keeps the queue of unread reports short, so a
        // device that stops reading soon pushes back on writes.
        EXPECT_EQ(::listen(fd, 1), 0);
        listeners_.push_back(fd);
        return fd;
    }

    void Add(unsigned n, const char* hidId, const Bytes& descriptor) {
        const std::string uevent = Uevent(hidId);
        AddEntry(n, &uevent, &descriptor);
        AddNode(n);
    }

  private:
    std::string root_;
    std::vector<int> listeners_;
};

}  // namespace hidraw_test
