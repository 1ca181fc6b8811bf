// The kx9calib program on a stand-in for a real stick: in a mount namespace
// of its own, /sys and /dev are a fake sysfs and a folder whose hidraw3 is
// a socket, and on the far end of that socket the firmware model answers,
// handing every report to every connection's reader as hidraw does. What
// the program does with its standard descriptors, with a stick another
// kx9calib holds, and with a request to stop in the middle of a write is
// judged by what reached the stick. Where no namespace can be made, the
// cases are skipped.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "calib/calibration_file.h"
#include "platform/stick_lock.h"
#include "tests/hidraw/fake_firmware.h"
#include "tests/hidraw/fake_hidraw.h"

namespace {

namespace fs = std::filesystem;
using hidraw_test::Bytes;

constexpr std::uint16_t kInput = 16, kOutput = 9;  // the block goes out in four chunks
constexpr int kNoNamespace = 125;
const CalibrationRecord kBlock{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                               0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};

// Where the program's standard output goes.
enum class Out { kFile, kClosed, kFull, kGonePipe };

struct Result {
    int status = -1;  // the exit status, or 1000 + the signal that ended it
    std::string out, err;
};

// The program under test: the one built beside this test, unless
// KX9CALIB_UNDER_TEST names another (an older build, to compare).
std::string Program() {
    const char* other = std::getenv("KX9CALIB_UNDER_TEST");
    return other != nullptr && *other != '\0' ? other : KX9CALIB;
}

void WriteAll(const char* path, const char* text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(fd, text, std::strlen(text));
        ::close(fd);
    }
}

class StandIn : public ::testing::Test {
  protected:
    void SetUp() override {
        const Bytes descriptor = hidraw_test::StickDescriptor(kInput, kOutput);
        tree_.AddEntry(3, "0003:00000F3D:00000402", &descriptor);
        Plug();
        std::ofstream(tree_.dev() + "/null");  // where the real /dev/null is bound
        fs::create_directories(folder_);
        std::ofstream(folder_ + "/block.txt") << FormatCalibrationFile(kBlock);
    }

    // A stick, new from the factory, on the node.
    void Plug() {
        firmware_.reset();
        firmware_ = std::make_unique<hidraw_test::Firmware>(tree_.node(3), kInput);
    }

    std::string Read(const std::string& name) const {
        std::ifstream in(folder_ + "/" + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // Every output report that reached the stick was a whole read or write
    // request, nothing else.
    std::string StrayReports() const {
        std::string stray;
        for (int command = 0; command < 256; ++command) {
            for (const Bytes& r : firmware_->Requests(static_cast<std::uint8_t>(command))) {
                if ((command == 3 || command == 4) && r.size() == kOutput) continue;
                stray += std::to_string(r.size()) + " bytes of command " + std::to_string(command) +
                         "; ";
            }
        }
        return stray;
    }

    CalibrationRecord StickHolds() const {
        const Bytes eeprom = firmware_->Eeprom();
        CalibrationBlock block;
        std::copy_n(eeprom.begin() + kCalibEepromBase, block.size(), block.begin());
        CalibrationRecord record{};
        UnpackCalibrationBlock(block, record);
        return record;
    }

    // Runs the program in the test's folder, in a mount namespace where the
    // fake tree is /sys and /dev, standard input on /dev/null.
    Result Run(const std::vector<std::string>& args, Out out = Out::kFile, bool closeErr = false) {
        const std::string program = Program();
        std::vector<std::string> words = {program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        const std::string outPath = folder_ + "/out.txt", errPath = folder_ + "/err.txt";
        const std::string sys = tree_.sys(), dev = tree_.dev(), null = dev + "/null";
        const bool root = ::geteuid() == 0;
        char uidMap[64], gidMap[64];
        std::snprintf(uidMap, sizeof uidMap, "0 %u 1\n", static_cast<unsigned>(::geteuid()));
        std::snprintf(gidMap, sizeof gidMap, "0 %u 1\n", static_cast<unsigned>(::getegid()));

        const int outFd =
            out == Out::kFull
                ? ::open("/dev/full", O_WRONLY | O_CLOEXEC)
                : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        int pipeFds[2] = {-1, -1};
        if (out == Out::kGonePipe) {
            EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
            ::close(pipeFds[0]);  // the reader has gone before the first byte
        }
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int inFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only system calls from here: the parent has threads.
            if (::unshare(CLONE_NEWNS | (root ? 0 : CLONE_NEWUSER)) != 0) ::_exit(kNoNamespace);
            if (!root) {
                WriteAll("/proc/self/setgroups", "deny");
                WriteAll("/proc/self/uid_map", uidMap);
                WriteAll("/proc/self/gid_map", gidMap);
            }
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("/dev/null", null.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(sys.c_str(), "/sys", nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(dev.c_str(), "/dev", nullptr, MS_BIND, nullptr) != 0 ||
                ::chdir(folder_.c_str()) != 0) {
                ::_exit(kNoNamespace);
            }
            ::dup2(inFd, 0);
            if (out == Out::kClosed) {
                ::close(1);
            } else {
                ::dup2(out == Out::kGonePipe ? pipeFds[1] : outFd, 1);
            }
            if (closeErr) {
                ::close(2);
            } else {
                ::dup2(errFd, 2);
            }
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        pid_ = pid;
        for (int fd : {outFd, errFd, inFd, pipeFds[1]}) {
            if (fd >= 0) ::close(fd);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid_ = 0;
        if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace) {
            return {kNoNamespace, "", "no mount namespace"};
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status),
                out == Out::kFile ? Read("out.txt") : "", Read("err.txt")};
    }

    hidraw_test::FakeTree tree_;
    const std::string folder_ = tree_.root_ + "/folder";
    std::unique_ptr<hidraw_test::Firmware> firmware_;
    std::atomic<pid_t> pid_{0};  // the program while it runs
};

#define SKIP_WITHOUT_NAMESPACE(result) \
    if ((result).status == kNoNamespace) GTEST_SKIP() << "no mount namespace here"

// A closed standard descriptor is never the stick's node: output that
// cannot be written (closed, a full disk, a reader gone) is a failure, and
// nothing meant for the terminal reaches the stick.
TEST_F(StandIn, NothingMeantForTheTerminalReachesTheStick) {
    const struct {
        std::vector<std::string> args;
        Out out;
        bool closeErr;
        int status;
    } cases[] = {
        {{"dump", "-"}, Out::kClosed, false, 1},
        {{"dump", "-"}, Out::kFull, false, 1},
        {{"dump", "-"}, Out::kGonePipe, false, 1},
        {{"list"}, Out::kClosed, false, 1},
        {{"list", "--json"}, Out::kGonePipe, false, 1},
        {{"--version"}, Out::kFull, false, 1},
        {{"--help"}, Out::kClosed, false, 1},
        {{"restore", "--no-backup", "block.txt"}, Out::kFile, true, 0},
        {{"dump", "-"}, Out::kFile, true, 0},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args, c.out, c.closeErr);
        SKIP_WITHOUT_NAMESPACE(r);
        const std::string name =
            testing::PrintToString(c.args) + " out " + std::to_string(static_cast<int>(c.out));
        EXPECT_EQ(r.status, c.status) << name << ": " << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.err, "kx9calib: cannot write to standard output\n") << name;
        }
        EXPECT_EQ(StrayReports(), "") << name;
    }
    EXPECT_EQ(StickHolds(), kBlock);
}

// While a kx9calib has the stick's link open it holds the stick's lock; a
// second one is refused before anything is sent. The virtual stick is
// locked by its EEPROM file, in the dialog as in the commands.
TEST_F(StandIn, OneUserPerStick) {
    const std::string block = FormatCalibrationFile(kBlock);
    plat::StickLock other;
    ASSERT_EQ(other.Take(tree_.node(3)), plat::StickLockResult::kTaken);
    const std::string eeprom = folder_ + "/s.bin";
    const struct {
        std::vector<std::string> args;
        const char* node;
    } refused[] = {
        {{"dump", "-"}, "/dev/hidraw3"},
        {{"restore", "block.txt"}, "/dev/hidraw3"},
        {{"--device", "/dev/hidraw3", "verify", "block.txt"}, "/dev/hidraw3"},
        {{"--script", "-"}, "/dev/hidraw3"},
        {{"--simulate", "--sim-eeprom", "s.bin", "restore", "block.txt"}, "s.bin"},
        {{"--simulate", "--sim-eeprom", "s.bin", "--script", "-"}, "s.bin"},
    };
    for (const auto& c : refused) {
        if (std::string(c.node) == "s.bin") {
            ASSERT_EQ(other.Take(eeprom + ".lock", true), plat::StickLockResult::kTaken);
        }
        const Result r = Run(c.args);
        SKIP_WITHOUT_NAMESPACE(r);
        const std::string name = testing::PrintToString(c.args);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, std::string("kx9calib: ") + c.node + " is in use by another kx9calib\n")
            << name;
        EXPECT_EQ(r.out, "") << name;
    }
    EXPECT_EQ(StrayReports() + std::to_string(firmware_->Requests(4).size()), "0")
        << "something reached a stick in use";
    EXPECT_FALSE(fs::exists(eeprom) &&
                 Read("s.bin").find_first_not_of('\xFF') != std::string::npos);

    // Free again, it is this kx9calib's while its link is open.
    other.Release();
    std::atomic<int> whileOpen{-1};
    firmware_->OnRequest([&](const Bytes&) {
        plat::StickLock probe;
        if (whileOpen < 0) whileOpen = static_cast<int>(probe.Take(tree_.node(3)));
    });
    const Result r = Run({"dump", "-"});
    firmware_->OnRequest({});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(whileOpen, static_cast<int>(plat::StickLockResult::kInUse));
    EXPECT_EQ(other.Take(tree_.node(3)), plat::StickLockResult::kTaken) << "not let go at exit";
}

// A request to stop that comes with the first chunk is acted on only once
// the block is back: the stick holds the whole new block, the program says
// so and where the old one is, and ends as the signal would have it.
TEST_F(StandIn, AStopRequestWaitsUntilTheBlockIsBack) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Plug();
        firmware_->OnRequest([this, signal, sent = false](const Bytes& r) mutable {
            if (r[1] == 3 && !sent) sent = ::kill(pid_, signal) == 0;
        });
        const Result r = Run({"restore", "block.txt"});
        SKIP_WITHOUT_NAMESPACE(r);
        const std::string name = "signal " + std::to_string(signal);
        EXPECT_EQ(r.status, 128 + signal) << name << ": " << r.err;
        EXPECT_EQ(StickHolds(), kBlock) << name;
        EXPECT_EQ(firmware_->Requests(3).size(), 4u) << name;
        EXPECT_NE(r.err.find("read back and verified"), std::string::npos) << name << r.err;
        EXPECT_NE(r.err.find("stopped by signal " + std::to_string(signal) +
                             " once the block was written whole; its block before is in "
                             "kx9-backup-"),
                  std::string::npos)
            << name << ": " << r.err;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().filename().string().rfind("kx9-backup-", 0) == 0) fs::remove(entry);
        }
    }
}

}  // namespace
