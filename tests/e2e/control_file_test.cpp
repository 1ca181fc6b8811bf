// The end-to-end build's stick controls: control lines and their parsing,
// following a control file as it grows, the acknowledgement, the EEPROM
// file, and a move that returns only once a reader has taken it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/virtual_stick.h"
#include "tests/e2e/control_file.h"
#include "tests/e2e/sim_stick.h"

namespace {

namespace fs = std::filesystem;
using e2e::ControlCommand;
using Kind = e2e::ControlCommand::Kind;

const char kNarrowPath[] =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// A folder of its own per test, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                (std::string("kx9_e2e_") + info->test_suite_name() + "_" + info->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Append(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
}

// --- parsing ---

TEST(ControlLine, ParsesCommandsAndRejectsEverythingElse) {
    struct Case {
        const char* line;
        bool ok;
        Kind kind;
        std::uint16_t x, y;
    };
    const Case cases[] = {
        {"axes 8000 7F80", true, Kind::kAxes, 0x8000, 0x7F80},
        {"axes 0x0 0xFFFF", true, Kind::kAxes, 0x0000, 0xFFFF},
        {"  axes\tbf00   80  \r", true, Kind::kAxes, 0xBF00, 0x0080},
        {"unplug", true, Kind::kUnplug, 0, 0},
        {"plug\r", true, Kind::kPlug, 0, 0},
        {"", true, Kind::kNone, 0, 0},
        {"   \r", true, Kind::kNone, 0, 0},
        {"# axes 1 2", true, Kind::kNone, 0, 0},
        {"axes 10000 0", false, Kind::kNone, 0, 0},  // five digits
        {"axes 8000", false, Kind::kNone, 0, 0},
        {"axes 8000 7F80 1", false, Kind::kNone, 0, 0},
        {"axes 80g0 0", false, Kind::kNone, 0, 0},
        {"axes 0x 0", false, Kind::kNone, 0, 0},
        {"axes -1 0", false, Kind::kNone, 0, 0},
        {"unplug now", false, Kind::kNone, 0, 0},
        {"Plug", false, Kind::kNone, 0, 0},
        {"move 1 2", false, Kind::kNone, 0, 0},
    };
    for (const Case& c : cases) {
        ControlCommand command;
        command.kind = Kind::kPlug;  // must be overwritten
        std::string error;
        const bool ok = e2e::ParseControlLine(c.line, &command, &error);
        EXPECT_EQ(ok, c.ok) << "line '" << c.line << "', error '" << error << "'";
        EXPECT_EQ(command.kind, c.ok ? c.kind : Kind::kNone) << "line '" << c.line << "'";
        if (c.ok && c.kind == Kind::kAxes) {
            EXPECT_EQ(command.x, c.x) << "line '" << c.line << "'";
            EXPECT_EQ(command.y, c.y) << "line '" << c.line << "'";
        }
        EXPECT_EQ(error.empty(), c.ok) << "line '" << c.line << "': " << error;
    }
}

// --- following the file ---

class RecordingStick : public e2e::StickActions {
  public:
    void SetAxes(std::uint16_t x, std::uint16_t y) override {
        char text[32];
        std::snprintf(text, sizeof text, "axes %04X %04X", x, y);
        done.push_back(text);
    }
    void Unplug() override { done.push_back("unplug"); }
    void Plug() override { done.push_back("plug"); }
    std::vector<std::string> done;
};

class Follower : public ::testing::Test {
  protected:
    TempFolder folder_;
    std::string control_ = folder_.File("control.txt");
    RecordingStick stick_;
    e2e::ControlFollower follower_{control_, stick_};
};

TEST_F(Follower, WaitsForTheFileAndForEachLineEnd) {
    ASSERT_TRUE(follower_.Poll());  // no file yet
    EXPECT_EQ(follower_.LinesTaken(), 0u);
    EXPECT_FALSE(fs::exists(control_ + ".ack"));

    Append(control_, "axes 8000 7F80\nunpl");
    ASSERT_TRUE(follower_.Poll());
    EXPECT_EQ(stick_.done, (std::vector<std::string>{"axes 8000 7F80"}));
    EXPECT_EQ(ReadAll(control_ + ".ack"), "1\n");

    ASSERT_TRUE(follower_.Poll());  // nothing new: the half line stays pending
    EXPECT_EQ(follower_.LinesTaken(), 1u);

    Append(control_, "ug\r\n\n# moving on\nplug\n");
    ASSERT_TRUE(follower_.Poll());
    EXPECT_EQ(stick_.done, (std::vector<std::string>{"axes 8000 7F80", "unplug", "plug"}));
    // Blank and comment lines count, so the harness can number its lines.
    EXPECT_EQ(ReadAll(control_ + ".ack"), "5\n");
}

TEST_F(Follower, CountsAndReportsRejectedLinesAndGoesOn) {
    Append(control_, "axes 1 2\njump\naxes 12345 0\nunplug\n");
    ASSERT_TRUE(follower_.Poll());
    EXPECT_EQ(stick_.done, (std::vector<std::string>{"axes 0001 0002", "unplug"}));
    EXPECT_EQ(ReadAll(control_ + ".ack"),
              "4\n"
              "line 2: unknown command 'jump'\n"
              "line 3: axes takes two values of 1 to 4 hex digits\n");
}

TEST_F(Follower, RejectsAnOverlongLineWholeAndTakesTheNext) {
    const std::string longest = "#" + std::string(e2e::ControlFollower::kMaxLineLength - 1, 'c');
    const std::string tooLong = "axes 1 2" + std::string(e2e::ControlFollower::kMaxLineLength, ' ');
    Append(control_, longest + "\n");
    Append(control_, tooLong.substr(0, 100));
    ASSERT_TRUE(follower_.Poll());
    Append(control_, tooLong.substr(100) + "\nplug\n");
    ASSERT_TRUE(follower_.Poll());
    EXPECT_EQ(stick_.done, (std::vector<std::string>{"plug"}));
    EXPECT_EQ(follower_.LinesTaken(), 3u);
    ASSERT_EQ(follower_.Rejected().size(), 1u);
    EXPECT_EQ(follower_.Rejected()[0], "line 2: longer than 256 characters");
}

TEST_F(Follower, FollowsAFileMadeAnewFromItsStart) {
    Append(control_, "axes 1 1\naxes 2 2\n");
    ASSERT_TRUE(follower_.Poll());
    fs::remove(control_);
    Append(control_, "plug\n");
    ASSERT_TRUE(follower_.Poll());
    EXPECT_EQ(stick_.done, (std::vector<std::string>{"axes 0001 0001", "axes 0002 0002", "plug"}));
    EXPECT_EQ(ReadAll(control_ + ".ack"), "3\n");
}

// --- the EEPROM file ---

class Eeprom : public ::testing::Test {
  protected:
    void TearDown() override {
        if (device_ != nullptr && device_ != plat::InvalidHandle()) driver_.Close(device_);
    }

    // One EEPROM write request, as the dialog sends it, waited for.
    void WriteRequest(std::uint8_t address, const std::vector<std::uint8_t>& data) {
        if (device_ == nullptr) device_ = driver_.Open(kNarrowPath);
        ASSERT_NE(device_, plat::InvalidHandle());
        std::vector<std::uint8_t> report(64, 0);
        report[0] = sim::kReportIdCommand;
        report[1] = sim::kCmdEepromWrite;
        report[2] = address;
        report[3] = static_cast<std::uint8_t>(data.size());
        for (std::size_t i = 0; i < data.size(); ++i) report[4 + i] = data[i];
        plat::IoRecord io;
        io.Reset();
        io.hEvent = plat::NewEvent(true);
        const std::size_t before = stick_.Requests().size();
        const plat::IoStart s = driver_.Write(device_, report.data(), 64, &io);
        ASSERT_NE(s, plat::IoStart::kFailed);
        if (s == plat::IoStart::kPending) {
            EXPECT_EQ(plat::WaitForSingleObject(io.hEvent, 10000), plat::kWaitObject0);
        }
        plat::CloseHandle(io.hEvent);
        ASSERT_TRUE(stick_.WaitForRequests(before + 1, std::chrono::seconds(10)));
    }

    sim::Eeprom FileImage(const std::string& path) {
        const std::string bytes = ReadAll(path);
        sim::Eeprom image{};
        EXPECT_EQ(bytes.size(), image.size()) << path;
        for (std::size_t i = 0; i < image.size() && i < bytes.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(bytes[i]);
        }
        return image;
    }

    TempFolder folder_;
    std::string file_ = folder_.File("eeprom.bin");
    sim::SimHidDriver driver_;
    sim::VirtualStick& stick_ = driver_.AddStick();
    plat::Handle device_ = nullptr;
};

TEST_F(Eeprom, WithoutAFileStartsErasedAndWritesItAtOnce) {
    e2e::EepromMirror mirror(stick_, file_);
    std::string error;
    ASSERT_TRUE(mirror.Prepare(&error)) << error;
    sim::Eeprom erased;
    erased.fill(0xFF);
    EXPECT_EQ(FileImage(file_), erased);
    EXPECT_EQ(stick_.EepromContents(), erased);
}

TEST_F(Eeprom, LoadsAnImageAndLeavesAnythingElseUntouched) {
    sim::Eeprom image;
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    {
        std::ofstream out(file_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), image.size());
    }
    e2e::EepromMirror mirror(stick_, file_);
    std::string error;
    ASSERT_TRUE(mirror.Prepare(&error)) << error;
    EXPECT_EQ(stick_.EepromContents(), image);

    for (const std::size_t size : {std::size_t(0), std::size_t(255), std::size_t(257)}) {
        const std::string other = folder_.File("other.bin");
        const std::string content(size, '\x5A');
        {
            std::ofstream out(other, std::ios::binary | std::ios::trunc);
            out << content;
        }
        e2e::EepromMirror refused(stick_, other);
        error.clear();
        EXPECT_FALSE(refused.Prepare(&error)) << size << " bytes";
        EXPECT_NE(error.find("not a 256-byte EEPROM image"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(other), content) << size << " bytes";
        EXPECT_EQ(stick_.EepromContents(), image) << size << " bytes";
    }
}

TEST_F(Eeprom, SavesAfterEveryWriteRequestEvenOfTheSameBytes) {
    e2e::EepromMirror mirror(stick_, file_);
    std::string error;
    ASSERT_TRUE(mirror.Prepare(&error)) << error;

    WriteRequest(110, {0x00, 0x40, 0xC0, 0x3F});
    ASSERT_TRUE(mirror.Sync());
    sim::Eeprom expected;
    expected.fill(0xFF);
    expected[110] = 0x00;
    expected[111] = 0x40;
    expected[112] = 0xC0;
    expected[113] = 0x3F;
    EXPECT_EQ(FileImage(file_), expected);

    // Nothing new: the file is left alone.
    fs::remove(file_);
    ASSERT_TRUE(mirror.Sync());
    EXPECT_FALSE(fs::exists(file_));

    // A request that changes nothing is still a request the stick received.
    WriteRequest(110, {0x00});
    ASSERT_TRUE(mirror.Sync());
    EXPECT_EQ(FileImage(file_), expected);
}

// --- a move waits for the reader ---

// Reads reports the way the dialog's reader does: one read at a time, the
// axes published before the next read starts.
class TestReader {
  public:
    TestReader(sim::SimHidDriver& driver) : driver_(driver) {
        device_ = driver_.Open(kNarrowPath);
        thread_ = std::thread([this] { Run(); });
    }
    ~TestReader() {
        stop_ = true;
        thread_.join();
        driver_.Close(device_);
    }
    std::uint32_t Axes() const { return axes_.load(); }
    bool Opened() const { return device_ != plat::InvalidHandle(); }

  private:
    void Run() {
        std::vector<std::uint8_t> buffer(64);
        plat::IoRecord io;
        const plat::Handle event = plat::NewEvent(true);
        while (!stop_) {
            io.Reset();
            io.hEvent = event;
            if (driver_.Read(device_, buffer.data(), 64, &io) == plat::IoStart::kFailed) break;
            while (plat::WaitForSingleObject(event, 20) != plat::kWaitObject0) {
                if (stop_) {
                    driver_.Cancel(device_, &io);
                    plat::CloseHandle(event);
                    return;
                }
            }
            std::uint32_t n = 0;
            if (!driver_.GetResult(device_, &io, &n) || n < 12) continue;
            // The sim is fast; a slow reader is where a move could be missed.
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            axes_ = std::uint32_t(buffer[8] | buffer[9] << 8) << 16 |
                    std::uint32_t(buffer[10] | buffer[11] << 8);
        }
        plat::CloseHandle(event);
    }

    sim::SimHidDriver& driver_;
    plat::Handle device_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> axes_{0};
    std::thread thread_;
};

TEST(StickMove, ReturnsOnceTheReaderHasPublishedTheNewAxes) {
    sim::SimHidDriver driver;
    sim::StickSettings settings;
    settings.reportsPerSecond = 500;
    sim::VirtualStick& stick = driver.AddStick(settings);
    TestReader reader(driver);
    ASSERT_TRUE(reader.Opened());
    e2e::VirtualStickActions actions(stick, std::chrono::seconds(60));
    const std::uint16_t moves[][2] = {
        {0x8000, 0x7F80}, {0x8000, 0x0080}, {0xBF00, 0x7F80}, {0xFF00, 0x7F80},
        {0x8000, 0xFFFF}, {0x0000, 0x7F80}, {0x0000, 0x7F81}, {0x0000, 0x7F80},
    };
    for (const auto& m : moves) {
        actions.SetAxes(m[0], m[1]);
        const std::uint32_t seen = reader.Axes();
        EXPECT_EQ(seen >> 16, m[0]) << std::hex << "move to " << m[0] << "," << m[1];
        EXPECT_EQ(seen & 0xFFFF, m[1]) << std::hex << "move to " << m[0] << "," << m[1];
    }
}

TEST(StickMove, ReturnsWithoutAReader) {
    sim::SimHidDriver driver;
    sim::VirtualStick& stick = driver.AddStick();
    // A limit far beyond the test's own: returning at all shows it did not
    // wait for a reader that is not there.
    e2e::VirtualStickActions actions(stick, std::chrono::hours(1));
    actions.SetAxes(0x1234, 0x5678);  // nothing open
    const plat::Handle device = driver.Open(kNarrowPath);
    ASSERT_NE(device, plat::InvalidHandle());
    actions.Unplug();
    EXPECT_FALSE(stick.Plugged());
    actions.SetAxes(0x4321, 0x8765);  // a handle, but the stick is out
    driver.Close(device);
    actions.Plug();
    EXPECT_TRUE(stick.Plugged());
}

}  // namespace
