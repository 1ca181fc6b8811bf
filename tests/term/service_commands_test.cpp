// kx9calib's service commands run in-process on virtual sticks, without a
// script or a terminal: the command line as parsed, the block file held to
// all fourteen fields, the dump -> restore -> verify round trip, each
// command's refusals with their exit statuses and messages, --device among
// two sticks, and list --json read back by a JSON parser.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/virtual_stick_setup.h"
#include "calib/calibration_file.h"
#include "platform/hidraw_driver.h"
#include "term/block_file.h"
#include "term/chosen_stick_driver.h"
#include "term/options.h"
#include "term/service_commands.h"
#include "tests/hidraw/fake_hidraw.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kSecondPath[] =
    u"\\\\?\\hid#vid_0f3d&pid_0402#kx9sim2#{4d1e55b2-f16f-11cf-88cb-001111000030}";
constexpr const char* kSecondNode =
    "\\\\?\\hid#vid_0f3d&pid_0402#kx9sim2#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// Every field distinct, so that a swap shows.
const CalibrationRecord kCounting{0x0100, 0x0302, 0x0504, 0x06,   0x07, 0x08, 0x09,
                                  0x0A,   0x0B,   0x0C,   0x0E0D, 0x0F, 0x10, 0x11};
const CalibrationRecord kOther{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                               0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};

sim::Eeprom EepromHolding(const CalibrationRecord& record) {
    sim::Eeprom e;
    e.fill(0xEE);
    const CalibrationBlock block = PackCalibrationBlock(record);
    for (int i = 0; i < kCalibBlockSize; ++i) e[kCalibEepromBase + i] = block[i];
    return e;
}

CalibrationRecord RecordIn(const sim::VirtualStick& stick) {
    const sim::Eeprom e = stick.EepromContents();
    CalibrationBlock block{};
    for (int i = 0; i < kCalibBlockSize; ++i) block[i] = e[kCalibEepromBase + i];
    CalibrationRecord record{};
    UnpackCalibrationBlock(block, record);
    return record;
}

// What becomes of the block's write requests on their way to the stick.
enum class BlockWrites { kPass, kFail, kCorrupt };

// The virtual stick's driver with the block's write requests failed at once,
// or sent with the lowest bit of their first data byte flipped.
class BlockWritesFail final : public plat::HidDriver {
  public:
    BlockWritesFail(plat::HidDriver& inner, BlockWrites mode) : m_inner(inner), m_mode(mode) {}
    bool CreateInputSystem(plat::InputSystem** s) override { return m_inner.CreateInputSystem(s); }
    plat::Handle Open(const char* path) override { return m_inner.Open(path); }
    bool Close(plat::Handle d) override { return m_inner.Close(d); }
    bool GetAttributes(plat::Handle d, plat::HidAttributes* a) override {
        return m_inner.GetAttributes(d, a);
    }
    bool GetPreparsedData(plat::Handle d, plat::PreparsedData* p) override {
        return m_inner.GetPreparsedData(d, p);
    }
    bool GetCaps(plat::PreparsedData p, plat::HidCaps* c) override { return m_inner.GetCaps(p, c); }
    void FreePreparsedData(plat::PreparsedData p) override { m_inner.FreePreparsedData(p); }
    plat::IoStart Read(plat::Handle d, void* b, std::uint32_t n, plat::IoRecord* io) override {
        return m_inner.Read(d, b, n, io);
    }
    plat::IoStart Write(plat::Handle d, const void* b, std::uint32_t n,
                        plat::IoRecord* io) override {
        const auto* bytes = static_cast<const std::uint8_t*>(b);
        if (n <= 4 || bytes[1] != sim::kCmdEepromWrite) return m_inner.Write(d, b, n, io);
        if (m_mode == BlockWrites::kFail) return plat::IoStart::kFailed;
        // The stick copies the request as the write starts.
        std::vector<std::uint8_t> copy(bytes, bytes + n);
        if (m_mode == BlockWrites::kCorrupt) copy[4] ^= 1;
        return m_inner.Write(d, copy.data(), n, io);
    }
    bool GetResult(plat::Handle d, plat::IoRecord* io, std::uint32_t* t) override {
        return m_inner.GetResult(d, io, t);
    }
    void Cancel(plat::Handle d, plat::IoRecord* io) override { m_inner.Cancel(d, io); }

  private:
    plat::HidDriver& m_inner;
    BlockWrites m_mode;
};

struct Result {
    int status = -1;
    std::string out, err;
};

class ServiceCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  (std::string("kx9-service-") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }

    sim::VirtualStick& AddStick(const std::string& serial, const CalibrationRecord& holding,
                                const char16_t* path = sim::kStickPath) {
        sim::StickSettings s;
        s.serial = serial;
        s.path = path;
        s.reportsPerSecond = 500;
        sim::VirtualStick& stick = driver_->AddStick(s);
        stick.SetEeprom(EepromHolding(holding));
        sticks_.push_back(&stick);
        return stick;
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Backups() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("kx9-backup-", 0) == 0) names.push_back(name);
        }
        return names;
    }

    // The words of a command line; file names are taken as they are, so
    // tests pass Path(...) for files in the test's folder.
    Result Run(const std::vector<std::string>& args) {
        term::Options options;
        std::string error;
        if (!term::ParseOptions(args, &options, &error)) return {term::kCommandUsage, "", error};
        std::ostringstream out, err;
        auto list = [this] { return app::FoundVirtualSticks(sticks_); };
        term::ChosenStickDriver chosen(*driver_, list, options.device);
        BlockWritesFail failing(*driver_, blockWrites_);
        term::CommandEnvironment env;
        env.hid = !options.device.empty()              ? static_cast<plat::HidDriver*>(&chosen)
                  : blockWrites_ != BlockWrites::kPass ? static_cast<plat::HidDriver*>(&failing)
                                                       : driver_.get();
        env.list = list;
        env.out = &out;
        env.err = &err;
        env.folder = folder_.string();
        const int status = term::RunServiceCommand(options, env);
        return {status, out.str(), err.str()};
    }

    // A new driver with no sticks and no backups left: where a table row starts.
    void Fresh() {
        sticks_.clear();
        driver_ = std::make_unique<sim::SimHidDriver>();
        for (const std::string& name : Backups()) fs::remove(folder_ / name);
    }

    BlockWrites blockWrites_ = BlockWrites::kPass;
    fs::path folder_;
    std::unique_ptr<sim::SimHidDriver> driver_ = std::make_unique<sim::SimHidDriver>();
    std::vector<sim::VirtualStick*> sticks_;
};

TEST(ServiceOptions, GlobalOptionsBeforeTheCommandItsOwnAfterInAnyOrder) {
    const struct {
        std::vector<std::string> args;
        const char* error;  // a part of the message, or null when accepted
        term::Command command;
        std::string file;
        bool force;
    } cases[] = {
        {{"--simulate", "dump"}, nullptr, term::Command::kDump, "Kx9_Joystick_FW.txt", false},
        {{"dump", "x.txt", "--force"}, nullptr, term::Command::kDump, "x.txt", true},
        {{"dump", "--force", "-"}, nullptr, term::Command::kDump, "-", true},
        {{"dump", "--", "--force"}, nullptr, term::Command::kDump, "--force", false},
        {{"--", "verify", "-v.txt"}, nullptr, term::Command::kVerify, "-v.txt", false},
        {{"--list"}, nullptr, term::Command::kList, "", false},
        {{"list", "--json"}, nullptr, term::Command::kList, "", false},
        {{"--device", "A1", "restore", "--backup", "b.txt", "r.txt"},
         nullptr,
         term::Command::kRestore,
         "r.txt",
         false},
        {{"dump", "--simulate"}, "--simulate goes before the command dump", {}, "", false},
        {{"dump", "a", "b"}, "dump takes one file at most", {}, "", false},
        {{"restore"}, "restore needs exactly one file", {}, "", false},
        {{"restore", "--backup", "b", "--no-backup", "r"}, "exclude each other", {}, "", false},
        {{"verify", "--force", "v"}, "verify: unknown option --force", {}, "", false},
        {{"list", "extra"}, "list takes no file", {}, "", false},
        {{"flash"}, "unknown command flash", {}, "", false},
        {{"--sim-ignore-writes", "dump"}, "need --simulate", {}, "", false},
        {{"--simulate", "--sim-flip-bit", "256", "dump"}, "0 to 255", {}, "", false},
        {{"--simulate", "--script", "s.kx9", "dump"}, "takes no command", {}, "", false},
        {{"--device", "", "list"}, "--device needs", {}, "", false},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        term::Options o;
        std::string error;
        const bool ok = term::ParseOptions(c.args, &o, &error);
        if (c.error != nullptr) {
            EXPECT_FALSE(ok) << joined;
            EXPECT_NE(error.find(c.error), std::string::npos) << joined << "-> " << error;
            continue;
        }
        ASSERT_TRUE(ok) << joined << "-> " << error;
        EXPECT_EQ(o.command, c.command) << joined;
        EXPECT_EQ(o.file, c.file) << joined;
        EXPECT_EQ(o.force, c.force) << joined;
    }

    // The virtual stick's faults reach its settings.
    term::Options o;
    std::string error;
    ASSERT_TRUE(term::ParseOptions({"--simulate", "--sim-reply-latency", "600",
                                    "--sim-ignore-writes", "--sim-flip-bit=0x70", "list"},
                                   &o, &error))
        << error;
    EXPECT_EQ(app::VirtualStickSettings(o).replyLatencyMs, 600u);
    EXPECT_TRUE(app::VirtualStickFaults(o).ignoreWrites);
    EXPECT_EQ(app::VirtualStickFaults(o).flipBitAddress, 0x70);
    EXPECT_EQ(app::VirtualStickFaults(term::Options{}).flipBitAddress, -1);
}

TEST(BlockFile, EveryFieldSetToAValueItCanStore) {
    const std::string whole = FormatCalibrationFile(kCounting);
    const struct {
        std::string text;
        const char* error;  // a part of the message, or null when accepted
    } cases[] = {
        {whole, nullptr},
        // The configuration syntax: comments, any case, decimal, the last one counts.
        {"/* c */ initial_pos_x = 256; // x\n" + whole.substr(whole.find("Initial_Pos_Y")) +
             "Edge_Size = 0x9999; Edge_Size = 1284;",
         nullptr},
        {"Edge_BM = 1;",
         "does not set Initial_Pos_X, Initial_Pos_Y, Edge_Size, Edge_Reduc, "
         "Edge_Shift, MultInit_XN"},
        {whole + "Edge_BM = 0x100;", "Edge_BM = 0x100 does not fit in a byte"},
        {whole + "Center_Area = 65536;", "Center_Area = 65536 does not fit in 16 bits"},
        {whole + "Edge_BM = 99999999999999999999;", "does not fit in a byte"},
        {whole + "Edge_BM = 0x1G;", "Edge_BM = 0x1G is not a number"},
        {whole + "Edge_BM = ;", "is not a number"},
        // A statement without its ';' is no statement.
        {whole.substr(0, whole.rfind(';')), "does not set Center_BM"},
    };
    for (const auto& c : cases) {
        CalibrationRecord record{};
        std::string error;
        const bool ok = term::ParseBlockText(c.text, &record, &error);
        if (c.error == nullptr) {
            EXPECT_TRUE(ok) << c.text << "\n-> " << error;
            EXPECT_EQ(record, kCounting) << c.text;
        } else {
            EXPECT_FALSE(ok) << c.text;
            EXPECT_NE(error.find(c.error), std::string::npos) << c.text << "\n-> " << error;
        }
    }
}

TEST(Uevent, SerialAndPortComeFromHidUniqAndHidPhys) {
    hidraw_test::FakeTree tree;
    tree.Add(2, "0003:00000F3D:00000402", hidraw_test::kStickWithIds);
    tree.Add(5, "0003:00000F3D:00000402", hidraw_test::kStickWithIds);
    std::ofstream(tree.sys() + "/class/hidraw/hidraw5/device/uevent")
        << "HID_ID=0003:00000F3D:00000402\nHID_NAME=Kx9\nHID_PHYS=usb-0000:00:14.0-2/input0\n"
           "HID_UNIQ=A1B2C3\n";
    const std::vector<plat::HidrawController> found =
        plat::ListHidrawControllers(tree.sys(), tree.dev());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].serial, "");
    EXPECT_EQ(found[0].port, "");
    EXPECT_EQ(found[1].serial, "A1B2C3");
    EXPECT_EQ(found[1].port, "usb-0000:00:14.0-2/input0");
}

TEST_F(ServiceCommands, DumpRestoreVerifyRoundTrip) {
    sim::VirtualStick& stick = AddStick("S1", kCounting);

    Result r = Run({"dump", Path("before.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read("before.txt"), FormatCalibrationFile(kCounting));
    EXPECT_EQ(Run({"dump", "-"}).out, FormatCalibrationFile(kCounting));

    Write("other.txt", FormatCalibrationFile(kOther));
    r = Run({"restore", Path("other.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("read back and verified"), std::string::npos) << r.err;
    EXPECT_EQ(RecordIn(stick), kOther);
    // The block the stick held before, in a dated backup.
    const std::vector<std::string> backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(Read(backups[0]), FormatCalibrationFile(kCounting));

    r = Run({"verify", Path("other.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = Run({"verify", Path("before.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Initial_Pos_X: stick 0x4000, file 0x0100\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("in 14 fields"), std::string::npos) << r.err;

    // Back again, the backup going where it is told.
    r = Run({"restore", "--backup", Path("mine.txt"), Path("before.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read("mine.txt"), FormatCalibrationFile(kOther));
    EXPECT_EQ(RecordIn(stick), kCounting);
    EXPECT_EQ(Run({"restore", "--no-backup", Path("other.txt")}).status, 0);
    EXPECT_EQ(Backups().size(), 1u);
}

TEST_F(ServiceCommands, RefusalsAndFailuresWithTheirStatus) {
    Write("block.txt", FormatCalibrationFile(kOther));
    Write("partial.txt", "Edge_BM = 1; Center_BM = 2;");
    Write("wide.txt", FormatCalibrationFile(kOther) + "MultInit_XP = 0x182;");
    Write("exists.txt", "keep me");
    const std::string block = Path("block.txt");
    constexpr auto kNoReply = sim::StickFaults{.dropReplies = sim::StickFaults::kAlways};
    const struct {
        const char* name;
        std::vector<std::string> args;
        sim::StickFaults faults;
        bool plugged;
        int status;
        const char* message;
        bool backupKept;
        BlockWrites writes = BlockWrites::kPass;
    } cases[] = {
        // clang-format off
        {"dump onto a file", {"dump", Path("exists.txt")}, {}, true, 1, "exists; dump --force", false},
        {"dump, no stick", {"dump", Path("d.txt")}, {}, false, 1, "no stick found", false},
        {"dump, no reply", {"dump", Path("d.txt")}, kNoReply, true, 1, "cannot read the EEPROM", false},
        {"restore, fields missing", {"restore", Path("partial.txt")}, {}, true, 2,
         "does not set Initial_Pos_X, Initial_Pos_Y, Edge_Size, Edge_Reduc, Edge_Shift, "
         "MultInit_XN, MultInit_XP, MultInit_YN, MultInit_YP, Center_Area, Center_Reduc, "
         "Center_Shift", false},
        {"restore, value too wide", {"restore", Path("wide.txt")}, {}, true, 2,
         "MultInit_XP = 0x182 does not fit in a byte", false},
        {"restore, no file", {"restore", Path("none.txt")}, {}, true, 1, "cannot read", false},
        {"restore over a backup", {"restore", "--backup", Path("exists.txt"), block}, {}, true, 1,
         "exists; nothing was written", false},
        {"restore, block unreadable for the backup", {"restore", block}, kNoReply, true, 1,
         "for the backup; nothing was written", false},
        {"restore, the write fails", {"restore", block}, {}, true, 1, "writing the block to", true,
         BlockWrites::kFail},
        {"restore, a byte kept wrong", {"restore", block}, {}, true, 1,
         "Initial_Pos_X: stick 0x4001, file 0x4000", true, BlockWrites::kCorrupt},
        {"verify, a partial file", {"verify", Path("partial.txt")}, {}, true, 2,
         "does not set Initial_Pos_X", false},
        {"list, no stick", {"list"}, {}, false, 1, "no stick found", false},
        // clang-format on
    };
    for (const auto& c : cases) {
        Fresh();
        sim::VirtualStick& stick = AddStick("S1", kCounting);
        stick.SetFaults(c.faults);
        if (!c.plugged) stick.Unplug();
        // The stick's own write faults would fail the reads as well (a read
        // request is a write): only the block's write requests go wrong here.
        blockWrites_ = c.writes;

        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        // Everything but a corrupted write leaves the stick as it was.
        EXPECT_EQ(RecordIn(stick) == kCounting, c.writes != BlockWrites::kCorrupt) << c.name;
        const std::vector<std::string> backups = Backups();
        EXPECT_EQ(backups.size(), c.backupKept ? 1u : 0u) << c.name;
        if (c.backupKept && !backups.empty()) {
            EXPECT_EQ(Read(backups[0]), FormatCalibrationFile(kCounting)) << c.name;
            EXPECT_NE(r.err.find("its block before is in"), std::string::npos) << c.name;
        }
        EXPECT_EQ(Read("exists.txt"), "keep me") << c.name;
    }
}

// PASSES ONLY ONCE THE VIRTUAL STICK HAS ITS ignoreWrites AND flipBitAddress
// FAULTS (a separate change; until then the fields exist but do nothing and
// the restore is rightly verified). The restore's own read-back fails these
// writes whether or not the block write checks itself.
TEST_F(ServiceCommands, RestoreThatDoesNotReadBackExitsOneAndKeepsTheBackup) {
    const struct {
        const char* name;
        sim::StickFaults faults;
    } cases[] = {
        {"writes ignored", {.ignoreWrites = true}},
        {"a bit flipped at 119", {.flipBitAddress = 119}},
    };
    Write("block.txt", FormatCalibrationFile(kOther));
    for (const auto& c : cases) {
        Fresh();
        AddStick("S1", kCounting).SetFaults(c.faults);

        const Result r = Run({"restore", Path("block.txt")});
        EXPECT_EQ(r.status, 1) << c.name << ": " << r.err;
        const std::vector<std::string> backups = Backups();
        ASSERT_EQ(backups.size(), 1u) << c.name;
        EXPECT_EQ(Read(backups[0]), FormatCalibrationFile(kCounting)) << c.name;
        EXPECT_NE(r.err.find("its block before is in"), std::string::npos) << c.name << r.err;
    }
}

TEST_F(ServiceCommands, DeviceChoosesAmongTwoSticksByNodeOrSerial) {
    AddStick("A-100", kCounting);
    AddStick("B-200", kOther, kSecondPath);
    const struct {
        const char* device;
        int status;
        const CalibrationRecord* dumped;
        const char* message;
    } cases[] = {
        {"", 0, &kCounting, ""},
        {"A-100", 0, &kCounting, ""},
        {"B-200", 0, &kOther, ""},
        {kSecondNode, 0, &kOther, ""},
        {"C-300", 1, nullptr, "no stick C-300; found: "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args;
        if (*c.device != 0) args = {"--device", c.device};
        args.insert(args.end(), {"dump", "-"});
        const Result r = Run(args);
        EXPECT_EQ(r.status, c.status) << c.device << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.device << ": " << r.err;
        if (c.dumped != nullptr) {
            EXPECT_EQ(r.out, FormatCalibrationFile(*c.dumped)) << c.device;
        } else {
            // What was found, by node and serial.
            EXPECT_NE(r.err.find("(serial A-100)"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("(serial B-200)"), std::string::npos) << r.err;
        }
    }
}

TEST_F(ServiceCommands, ListJsonParsesWithStableFields) {
    AddStick("A-100", kCounting);
    AddStick("B-200\x01\xff", kOther, kSecondPath);
    const Result r = Run({"--device", "B-200\x01\xff", "list", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    const nlohmann::json& list = doc.at("controllers");
    ASSERT_EQ(list.size(), 2u);
    for (const char* key : {"node", "vendor_id", "product_id", "name", "serial", "port",
                            "input_report_length", "output_report_length", "kx9", "selected"}) {
        EXPECT_TRUE(list[0].contains(key)) << key;
    }
    EXPECT_EQ(list[0].at("serial"), "A-100");
    EXPECT_EQ(list[0].at("vendor_id"), "0f3d");
    EXPECT_EQ(list[0].at("product_id"), "0402");
    EXPECT_EQ(list[0].at("input_report_length"), 64);
    EXPECT_EQ(list[0].at("kx9"), true);
    EXPECT_EQ(list[0].at("selected"), false);
    EXPECT_EQ(list[1].at("selected"), true);
    EXPECT_EQ(list[1].at("node"), kSecondNode);
    // A byte that is no UTF-8 is replaced, never breaks the document.
    EXPECT_EQ(list[1].at("serial"), "B-200\x01\xEF\xBF\xBD");

    // The text list cleans what the device says before it reaches a terminal.
    const Result text = Run({"list"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out.find('\x01'), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("* 0f3d:0402"), std::string::npos) << text.out;
}

// The program itself: its command line reaching the commands, the virtual
// stick's options reaching the stick, and the exit statuses through main.
TEST_F(ServiceCommands, TheProgramRunsEachCommandOnItsVirtualStick) {
    Write("block.txt", FormatCalibrationFile(kOther));
    Write("partial.txt", "Edge_BM = 1;");
    const struct {
        const char* args;
        int status;
        const char* out;  // a part of standard output
        const char* err;  // a part of standard error
    } cases[] = {
        {"--version", 0, "kx9calib 1.10\n", ""},
        {"--simulate --sim-eeprom e.bin list --json", 0, "\"serial\": \"KX9SIM0001\"", ""},
        {"--simulate --sim-eeprom e.bin restore block.txt", 0, "", "read back and verified"},
        {"--simulate --sim-eeprom e.bin --device KX9SIM0001 verify block.txt", 0, "",
         "holds the block of block.txt"},
        {"--simulate --sim-eeprom e.bin dump -", 0, "MultInit_XN   = 0x81;", ""},
        {"--simulate --sim-eeprom e.bin --sim-reply-latency 700 dump late.txt", 0, "",
         "is in late.txt"},
        {"--simulate --device virtual-stick-2 dump -", 1, "", "found: virtual-stick-1"},
        {"--simulate restore partial.txt", 2, "", "does not set Initial_Pos_X"},
        {"dump --simulate", 2, "", "goes before the command"},
    };
    for (const auto& c : cases) {
        const std::string command = "cd '" + folder_.string() + "' && '" KX9CALIB "' " + c.args +
                                    " > out.txt 2> err.txt < /dev/null; echo $? > status.txt";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.args;
        const std::string out = Read("out.txt");
        const std::string err = Read("err.txt");
        EXPECT_EQ(std::atoi(Read("status.txt").c_str()), c.status) << c.args << "\n" << err;
        EXPECT_NE(out.find(c.out), std::string::npos) << c.args << "\n" << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << c.args << "\n" << err;
    }
}

}  // namespace
