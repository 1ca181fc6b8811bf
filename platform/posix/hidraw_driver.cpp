// The hidraw HID driver: discovery from sysfs in DirectInput's shape, the
// HID queries from the report descriptor, and overlapped I/O through one
// Device (hidraw_device.h) per open handle.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/hidraw_driver.h"
#include "platform/posix/hidraw_descriptor.h"
#include "platform/posix/hidraw_device.h"
#include "platform/posix/hidraw_sysfs.h"

namespace plat {
namespace {

using hidraw::DescriptorFacts;
using hidraw::Device;

constexpr std::size_t kMaxWidePath = sizeof(GuidAndPath::wszPath) / sizeof(char16_t);

// GUID_DEVINTERFACE_HID in its in-memory byte order, as DirectInput reports
// it with the path.
constexpr std::uint8_t kHidClassGuid[16] = {0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11,
                                            0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};

// An instance GUID names the hidraw number behind a marker, so a GUID that
// did not come from this driver is refused rather than misread.
constexpr std::uint8_t kInstanceMarker[4] = {'h', 'r', 'a', 'w'};

DeviceInstance MakeInstance(unsigned number) {
    DeviceInstance instance;
    std::memcpy(instance.guidInstance, kInstanceMarker, sizeof kInstanceMarker);
    for (int i = 0; i < 4; ++i) {
        instance.guidInstance[4 + i] = static_cast<std::uint8_t>(number >> (8 * i));
    }
    return instance;
}

bool ParseInstance(const DeviceInstance& instance, unsigned* number) {
    if (std::memcmp(instance.guidInstance, kInstanceMarker, sizeof kInstanceMarker) != 0) {
        return false;
    }
    unsigned n = 0;
    for (int i = 0; i < 4; ++i) n |= unsigned{instance.guidInstance[4 + i]} << (8 * i);
    for (int i = 8; i < 16; ++i) {
        if (instance.guidInstance[i] != 0) return false;
    }
    *number = n;
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DescriptorFacts ReadFacts(const std::string& sysfsRoot, unsigned number) {
    std::vector<std::uint8_t> descriptor;
    if (!hidraw::ReadDescriptor(sysfsRoot, number, &descriptor)) return DescriptorFacts{};
    return hidraw::ParseReportDescriptor(descriptor.data(), descriptor.size());
}

class HidrawInputDevice final : public InputDevice {
  public:
    HidrawInputDevice(std::string sysfsRoot, std::string devRoot, unsigned number)
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), number_(number) {}

    void Release() override { delete this; }

    bool GetVidPid(std::uint32_t* value) override {
        hidraw::HidIdentity identity;
        if (value == nullptr || !hidraw::ReadIdentity(sysfsRoot_, number_, &identity)) {
            return false;
        }
        *value = std::uint32_t{identity.product} << 16 | identity.vendor;
        return true;
    }

    bool GetGuidAndPath(GuidAndPath* record) override {
        if (record == nullptr) return false;
        const std::string node = hidraw::NodePath(devRoot_, number_);
        // A path cut short would name another file; refuse it instead.
        if (node.size() >= kMaxWidePath || !hidraw::NodeExists(node)) return false;
        std::memcpy(record->guidClass, kHidClassGuid, sizeof kHidClassGuid);
        // One unit per byte: the dialog keeps the low byte of each unit, so
        // any path, UTF-8 or not, comes back byte for byte.
        for (std::size_t i = 0; i < node.size(); ++i) {
            record->wszPath[i] = static_cast<char16_t>(static_cast<unsigned char>(node[i]));
        }
        record->wszPath[node.size()] = 0;
        return true;
    }

  private:
    ~HidrawInputDevice() override = default;
    const std::string sysfsRoot_;
    const std::string devRoot_;
    const unsigned number_;
};

class HidrawInputSystem final : public InputSystem {
  public:
    HidrawInputSystem(std::string sysfsRoot, std::string devRoot)
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

    void Release() override { delete this; }

    // Game controllers are the nodes whose descriptor declares one; a node
    // whose descriptor cannot be read or parsed is no controller.
    void EnumDevices(EnumDevicesCallback callback, void* context) override {
        if (callback == nullptr) return;
        for (unsigned number : hidraw::ListHidrawNumbers(sysfsRoot_)) {
            const DescriptorFacts facts = ReadFacts(sysfsRoot_, number);
            if (!facts.valid || !facts.gameController) continue;
            const DeviceInstance instance = MakeInstance(number);
            if (callback(&instance, context) == kDienumStop) return;
        }
    }

    bool CreateDevice(const DeviceInstance& instance, InputDevice** device) override {
        unsigned number;
        if (device == nullptr || !ParseInstance(instance, &number)) return false;
        // Gone since it was listed.
        if (!IsDirectory(hidraw::DeviceDir(sysfsRoot_, number))) return false;
        *device = new HidrawInputDevice(sysfsRoot_, devRoot_, number);
        return true;
    }

  private:
    ~HidrawInputSystem() override = default;
    const std::string sysfsRoot_;
    const std::string devRoot_;
};

// What GetPreparsedData hands out: the facts of the descriptor.
struct Preparsed {
    DescriptorFacts facts;
};

// What is learnt about a device when it is opened, so later queries never
// touch a descriptor that Close may be releasing.
struct OpenDevice {
    std::shared_ptr<Device> device;
    bool haveIdentity = false;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool haveDescriptor = false;
    std::vector<std::uint8_t> descriptor;
};

int ConnectSeqpacket(const char* path, int* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) {
        *error = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        *error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

bool QueryDescriptor(int fd, std::vector<std::uint8_t>* descriptor) {
    int size = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
        return false;
    }
    hidraw_report_descriptor raw{};
    raw.size = static_cast<__u32>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &raw) != 0) return false;
    descriptor->assign(raw.value, raw.value + size);
    return true;
}

class HidrawDriverImpl final : public HidrawDriver {
  public:
    HidrawDriverImpl(std::string sysfsRoot, std::string devRoot)
        : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

    ~HidrawDriverImpl() override {
        std::map<std::uintptr_t, OpenDevice> devices;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            devices.swap(devices_);
            for (Preparsed* p : preparsed_) delete p;
            preparsed_.clear();
        }
        for (auto& entry : devices) entry.second.device->Shutdown();
    }

    int LastOpenError() const override { return lastOpenError_.load(); }

    bool CreateInputSystem(InputSystem** system) override {
        if (system == nullptr) return false;
        *system = new HidrawInputSystem(sysfsRoot_, devRoot_);
        return true;
    }

    Handle Open(const char* path) override {
        if (path == nullptr || *path == '\0') return Fail(ENOENT);
        int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        bool isSocket = false;
        if (fd < 0) {
            int error = errno;
            struct stat st;
            // open() refuses sockets with ENXIO; a socket here stands in for a node.
            if (error == ENXIO && ::stat(path, &st) == 0 && S_ISSOCK(st.st_mode)) {
                fd = ConnectSeqpacket(path, &error);
                isSocket = fd >= 0;
            }
            if (fd < 0) return Fail(error);
        } else {
            struct stat st;
            if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
                ::close(fd);
                return Fail(ENODEV);
            }
        }

        OpenDevice entry;
        // hidraw's ioctls only where sysfs confirms a hidraw device: the same
        // numbers mean other things to other drivers.
        unsigned number = 0;
        bool haveNumber = false;
        struct stat node;
        if (!isSocket && ::fstat(fd, &node) == 0 &&
            hidraw::HidrawNumberOfDevice(sysfsRoot_, node.st_rdev, &number)) {
            haveNumber = true;
            hidraw_devinfo info{};
            if (::ioctl(fd, HIDIOCGRAWINFO, &info) == 0) {
                entry.haveIdentity = true;
                entry.vendor = static_cast<std::uint16_t>(info.vendor);
                entry.product = static_cast<std::uint16_t>(info.product);
            }
            entry.haveDescriptor = QueryDescriptor(fd, &entry.descriptor);
        }
        // Otherwise (the stand-in socket) the node's name leads to sysfs.
        if (!haveNumber) {
            const char* slash = std::strrchr(path, '/');
            haveNumber = hidraw::ParseHidrawName(slash != nullptr ? slash + 1 : path, &number);
        }
        if (haveNumber) {
            hidraw::HidIdentity identity;
            if (!entry.haveIdentity && hidraw::ReadIdentity(sysfsRoot_, number, &identity)) {
                entry.haveIdentity = true;
                entry.vendor = identity.vendor;
                entry.product = identity.product;
            }
            if (!entry.haveDescriptor) {
                entry.haveDescriptor =
                    hidraw::ReadDescriptor(sysfsRoot_, number, &entry.descriptor);
            }
        }

        hidraw::DeviceLayout layout;  // unknown: assume ids, as the stick has
        if (entry.haveDescriptor) {
            const DescriptorFacts facts =
                hidraw::ParseReportDescriptor(entry.descriptor.data(), entry.descriptor.size());
            if (facts.valid) {
                layout.numbered = facts.numbered;
                layout.inputLength = facts.inputLength;
                layout.inputIds = facts.inputIds;
            }
        }
        entry.device = Device::Start(fd, isSocket, layout);
        if (entry.device == nullptr) return Fail(EMFILE);

        lastOpenError_.store(0);
        std::lock_guard<std::mutex> lock(mutex_);
        const std::uintptr_t id = nextHandle_++;
        devices_.emplace(id, std::move(entry));
        return reinterpret_cast<Handle>(id);
    }

    bool Close(Handle handle) override {
        std::shared_ptr<Device> device;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
            if (it == devices_.end()) return false;
            device = std::move(it->second.device);
            devices_.erase(it);
        }
        device->Shutdown();
        return true;
    }

    bool GetAttributes(Handle handle, HidAttributes* attributes) override {
        if (attributes == nullptr) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == devices_.end() || !it->second.haveIdentity) return false;
        attributes->Size = sizeof(HidAttributes);
        attributes->VendorID = it->second.vendor;
        attributes->ProductID = it->second.product;
        attributes->VersionNumber = 0;  // hidraw does not tell it
        return true;
    }

    bool GetPreparsedData(Handle handle, PreparsedData* data) override {
        if (data == nullptr) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == devices_.end() || !it->second.haveDescriptor) return false;
        const std::vector<std::uint8_t>& d = it->second.descriptor;
        const DescriptorFacts facts = hidraw::ParseReportDescriptor(d.data(), d.size());
        if (!facts.valid) return false;
        auto* p = new Preparsed{facts};
        preparsed_.insert(p);
        *data = p;
        return true;
    }

    bool GetCaps(PreparsedData data, HidCaps* caps) override {
        if (caps == nullptr) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = preparsed_.find(static_cast<Preparsed*>(data));
        if (it == preparsed_.end()) return false;
        const DescriptorFacts& facts = (*it)->facts;
        caps->Usage = facts.usage;
        caps->UsagePage = facts.usagePage;
        caps->InputReportByteLength = facts.inputLength;
        caps->OutputReportByteLength = facts.outputLength;
        caps->FeatureReportByteLength = facts.featureLength;
        return true;
    }

    void FreePreparsedData(PreparsedData data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = preparsed_.find(static_cast<Preparsed*>(data));
        if (it == preparsed_.end()) return;
        delete *it;
        preparsed_.erase(it);
    }

    IoStart Read(Handle handle, void* buffer, std::uint32_t length, IoRecord* io) override {
        const std::shared_ptr<Device> device = Find(handle);
        return device != nullptr ? device->Read(buffer, length, io) : IoStart::kFailed;
    }

    IoStart Write(Handle handle, const void* buffer, std::uint32_t length, IoRecord* io) override {
        const std::shared_ptr<Device> device = Find(handle);
        return device != nullptr ? device->Write(buffer, length, io) : IoStart::kFailed;
    }

    bool GetResult(Handle handle, IoRecord* io, std::uint32_t* transferred) override {
        const std::shared_ptr<Device> device = Find(handle);
        return device != nullptr && device->GetResult(io, transferred);
    }

    void Cancel(Handle handle, IoRecord* io) override {
        if (const std::shared_ptr<Device> device = Find(handle)) device->Cancel(io);
    }

  private:
    Handle Fail(int error) {
        lastOpenError_.store(error != 0 ? error : EIO);
        return InvalidHandle();
    }

    // Handles are serial numbers, never reused, so a stale handle finds
    // nothing instead of another device.
    std::shared_ptr<Device> Find(Handle handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
        return it != devices_.end() ? it->second.device : nullptr;
    }

    const std::string sysfsRoot_;
    const std::string devRoot_;
    std::atomic<int> lastOpenError_{0};
    std::mutex mutex_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<std::uintptr_t, OpenDevice> devices_;
    std::set<Preparsed*> preparsed_;
};

}  // namespace

OpenFailure ClassifyOpenError(int error) {
    switch (error) {
        case 0:
            return OpenFailure::kNone;
        case EACCES:
        case EPERM:
            return OpenFailure::kPermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ECONNREFUSED:
            return OpenFailure::kNotFound;
        default:
            return OpenFailure::kOther;
    }
}

OpenFailure HidrawDriver::LastOpenFailure() const {
    return ClassifyOpenError(LastOpenError());
}

std::unique_ptr<HidrawDriver> MakeHidrawDriver(const std::string& sysfsRoot,
                                               const std::string& devRoot) {
    return std::make_unique<HidrawDriverImpl>(sysfsRoot, devRoot);
}

std::vector<HidrawController> ListHidrawControllers(const std::string& sysfsRoot,
                                                    const std::string& devRoot) {
    std::vector<HidrawController> controllers;
    InputSystem* system = new HidrawInputSystem(sysfsRoot, devRoot);

    std::vector<DeviceInstance> instances;
    system->EnumDevices(
        [](const DeviceInstance* instance, void* context) {
            static_cast<std::vector<DeviceInstance>*>(context)->push_back(*instance);
            return kDienumContinue;
        },
        &instances);

    for (const DeviceInstance& instance : instances) {
        InputDevice* device = nullptr;
        if (!system->CreateDevice(instance, &device)) continue;
        HidrawController controller;
        GuidAndPath record{};
        const bool ok = device->GetVidPid(&controller.vidPid) && device->GetGuidAndPath(&record);
        device->Release();
        unsigned number;
        if (!ok || !ParseInstance(instance, &number)) continue;
        controller.path = hidraw::NodePath(devRoot, number);
        const DescriptorFacts facts = ReadFacts(sysfsRoot, number);
        if (!facts.valid) continue;  // changed since it was listed
        hidraw::HidIdentity identity;
        if (hidraw::ReadIdentity(sysfsRoot, number, &identity)) {
            controller.name = identity.name;
            controller.serial = identity.serial;
            controller.port = identity.port;
        }
        controller.usagePage = facts.usagePage;
        controller.usage = facts.usage;
        controller.inputReportLength = facts.inputLength;
        controller.outputReportLength = facts.outputLength;
        controllers.push_back(std::move(controller));
    }
    system->Release();
    return controllers;
}

std::string PermissionDeniedMessage(const std::string& node, std::uint32_t vidPid) {
    char rule[160];
    std::snprintf(rule, sizeof rule,
                  "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\", "
                  "MODE=\"0660\", TAG+=\"uaccess\"",
                  static_cast<unsigned>(vidPid & 0xFFFF), static_cast<unsigned>(vidPid >> 16));
    return "Permission denied opening " + node +
           ".\n"
           "This user may not read and write the stick's HID device. The kx9calib package\n"
           "allows it with the udev rule /usr/lib/udev/rules.d/70-kx9calib.rules; without\n"
           "the package, put the same rule (packaging/70-kx9calib.rules in the sources)\n"
           "in /etc/udev/rules.d/70-kx9calib.rules:\n" +
           rule +
           "\n"
           "then run \"sudo udevadm control --reload && sudo udevadm trigger\"\n"
           "and plug the stick in again.";
}

}  // namespace plat
