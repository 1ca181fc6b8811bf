// kx9calib's service commands run in-process on virtual sticks: the command
// line as parsed, the block file held to all fourteen fields, the dump ->
// restore -> verify round trip, each command's refusals with their exit
// statuses and messages, --device among two sticks, and list --json; and
// the virtual stick's panel as the program sets it up.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/eeprom_file.h"
#include "app/virtual_stick_setup.h"
#include "calib/calibration_file.h"
#include "calib/block_file.h"
#include "app/options.h"
#include "app/stick_wiring.h"
#include "service/service_commands.h"
#include "term/stick_control.h"
#include "tests/common/test_folder.h"

namespace {

namespace fs = std::filesystem;

// Every field distinct, so that a swap shows.
const CalibrationRecord kCounting{0x0100, 0x0302, 0x0504, 0x06,   0x07, 0x08, 0x09,
                                  0x0A,   0x0B,   0x0C,   0x0E0D, 0x0F, 0x10, 0x11};
const CalibrationRecord kOther{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                               0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};

// The EEPROM of a stick that holds the record's block, and 0xEE elsewhere.
sim::Eeprom Holding(const CalibrationRecord& record) {
    sim::Eeprom e;
    e.fill(0xEE);
    const CalibrationBlock block = PackCalibrationBlock(record);
    std::copy(block.begin(), block.end(), e.begin() + kCalibEepromBase);
    return e;
}

struct Result {
    int status = -1;
    std::string out, err;
};

class ServiceCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = TestFolder("kx9-service-");
        Fresh();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }

    // The sticks' nodes are stick-1, stick-2, ... in the order added.
    sim::VirtualStick& AddStick(const std::string& serial, const CalibrationRecord& holding) {
        sim::StickSettings s;
        s.serial = serial;
        s.path = u"stick-";
        s.path += static_cast<char16_t>(u'1' + sticks_.size());
        s.reportsPerSecond = 500;
        sim::VirtualStick& stick = driver_->AddStick(s);
        stick.SetEeprom(Holding(holding));
        sticks_.push_back(&stick);
        return stick;
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder_ / name, std::ios::binary) << text;
    }
    // In text mode: the dump and the backups are text files, with the line
    // ends of the system they are written on.
    std::string Read(const std::string& name) const {
        std::ifstream in(folder_ / name);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The text of the one dated backup in the folder: "" when there is none.
    std::string Backup() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("kx9-backup-", 0) == 0) names.push_back(name);
        }
        return names.size() > 1 ? "several backups" : names.empty() ? "" : Read(names[0]);
    }

    // The words of a command line; file names are taken as they are, so
    // tests pass Path(...) for files in the test's folder.
    Result Run(const std::vector<std::string>& args) {
        app::Options options;
        std::string error;
        if (!app::ParseOptions(args, &options, &error)) return {service::kCommandUsage, "", error};
        std::ostringstream out, err;
        app::StickWiring sticks(options, *driver_,
                                [this] { return app::FoundVirtualSticks(sticks_); });
        service::CommandEnvironment env = sticks.Commands(out, err);
        env.folder = folder_.string();
        const int status = service::RunServiceCommand(options, env);
        return {status, out.str(), err.str()};
    }

    // A new driver with no sticks, and an empty folder: where a table row starts.
    void Fresh() {
        sticks_.clear();
        driver_ = std::make_unique<sim::SimHidDriver>();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }

    fs::path folder_;
    std::unique_ptr<sim::SimHidDriver> driver_ = std::make_unique<sim::SimHidDriver>();
    std::vector<sim::VirtualStick*> sticks_;
};

TEST(ServiceOptions, GlobalOptionsBeforeTheCommandItsOwnAfterInAnyOrder) {
    // The command, its file and --force as parsed, or why they were refused.
    const auto parsed = [](const std::vector<std::string>& args) -> std::string {
        static const char* kNames[] = {"dialog", "dump", "restore", "verify", "list", "report"};
        app::Options o;
        std::string error;
        if (!app::ParseOptions(args, &o, &error)) return error;
        return std::string("[") + kNames[static_cast<int>(o.command)] + " " + o.file +
               (o.force ? " forced]" : "]");
    };
    const struct {
        std::vector<std::string> args;
        const char* expected;
    } cases[] = {
        {{"--simulate", "dump"}, "[dump Kx9_Joystick_FW.txt]"},
        {{"dump", "x.txt", "--force"}, "[dump x.txt forced]"},
        {{"dump", "--force", "-"}, "[dump - forced]"},
        {{"dump", "--", "--force"}, "[dump --force]"},
        {{"--", "verify", "-v.txt"}, "[verify -v.txt]"},
        {{"--list"}, "[list ]"},
        {{"dump", "a", "b"}, "dump takes one file at most"},
        {{"restore"}, "restore needs exactly one file"},
        {{"restore", "--backup", "b", "--no-backup", "r"}, "exclude each other"},
        {{"verify", "--force", "v"}, "verify: unknown option --force"},
        {{"list", "extra"}, "list takes no file"},
        {{"flash"}, "unknown command flash"},
        {{"--sim-ignore-writes", "dump"}, "need --simulate"},
        {{"--simulate", "--sim-flip-bit", "256", "dump"}, "0 to 255"},
        {{"--simulate", "--script", "s.kx9", "dump"}, "takes no command"},
        {{"--device", "", "list"}, "--device needs"},
        {{"report", "--json", "a.csv", "b.csv"}, "[report ]"},
        {{"report"}, "report needs at least one record file"},
        {{"--record", "r.csv", "list"}, "--record is kept by the dialog and restore, not by list"},
        {{"restore", "--record", "r.csv", "b.txt"}, "--record goes before the command restore"},
        {{"--record", "", "restore", "b.txt"}, "--record needs a file name"},
        // Where an option stands decides what it is: a flag takes no
        // "=value", --list is a command's spelling and no global option.
        {{"report", "--html=p.html", "a.csv", "--version"}, "[report ]"},
        {{"dump", "--force=1"}, "dump: unknown option --force=1"},
        {{"--force", "dump"}, "unknown option --force (see --help)"},
        {{"--simulate=1", "dump"}, "unknown option --simulate=1"},
        {{"dump", "--simulate=1"}, "--simulate goes before the command dump"},
        {{"list", "--sim-anything"}, "--sim-anything goes before the command list"},
        {{"dump", "--list"}, "dump: unknown option --list"},
        {{"list", "--json", "--html", "p"}, "list: unknown option --html"},
        {{"--simulate", "--sim-eeprom"}, "--sim-eeprom needs a value"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(parsed(c.args).find(c.expected), std::string::npos)
            << testing::PrintToString(c.args) << " -> " << parsed(c.args);
    }

    // The virtual stick's reply latency reaches its settings; its faults
    // show in the program's own runs.
    app::Options o;
    std::string error;
    ASSERT_TRUE(
        app::ParseOptions({"--simulate", "--sim-reply-latency", "600", "list"}, &o, &error));
    EXPECT_EQ(app::VirtualStickSettings(o).replyLatencyMs, 600u);
}

// The panel shows the stick itself: plugged back in, the stick is at rest,
// and so is what the panel draws.
TEST(VirtualStickPanel, ShowsTheStickWhereItIsAfterItIsPluggedBackIn) {
    sim::SimHidDriver driver;
    sim::VirtualStick& stick = driver.AddStick();
    app::SimStick panel(stick);
    term::ApplyPanelAction(panel, term::PanelAction::kRight);
    EXPECT_EQ(panel.X(), 0xFFFF);
    EXPECT_EQ(panel.Y(), sim::kCentre);
    term::ApplyPanelAction(panel, term::PanelAction::kTogglePlug);
    EXPECT_FALSE(panel.Plugged());
    term::ApplyPanelAction(panel, term::PanelAction::kTogglePlug);
    ASSERT_TRUE(panel.Plugged());
    EXPECT_EQ(panel.X(), sim::kCentre);
    EXPECT_EQ(panel.Y(), sim::kCentre);
}

TEST(BlockFile, EveryFieldSetToAValueItCanStore) {
    const std::string whole = FormatCalibrationFile(kCounting);
    std::string crOnly = whole;
    std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
    // The whole block with one field's value replaced.
    auto with = [&whole](const std::string& field, const std::string& value) {
        const std::size_t at = whole.find(field + " ");
        const std::size_t equals = whole.find('=', at), end = whole.find(';', at);
        return whole.substr(0, equals + 1) + " " + value + whole.substr(end);
    };
    const struct {
        std::string text;
        std::string expected;  // the block read, as a file; or a part of the message
    } cases[] = {
        // The configuration syntax: a byte-order mark, comments, any case,
        // decimal, the last one counts.
        {"\xEF\xBB\xBF/* c */ initial_pos_x = 256; // x\n" +
             whole.substr(whole.find("Initial_Pos_Y")),
         whole},
        // Read to the letter: what the dialog's reader would cut, take
        // twice or read past is refused, with its line and field.
        {"Initial_Pos_X = 0x" + std::string(491, '0') + "4000;\n" + whole,
         "line 1: the statement of Initial_Pos_X is longer than the dialog's reader takes (511"},
        {"Initial_Pos_X = 0x" + std::string(480, '0') + "0100;\n" +
             whole.substr(whole.find("Initial_Pos_Y")),
         whole},
        {whole + "\nEdge_Size = 0x9999;", "Edge_Size is set a second time (first on line"},
        {"Edge_BM = 0x07" + std::string(1, '\0') + " 9;\n" + whole,
         "line 1: a control byte 0x00 in Edge_BM"},
        {whole + "\x1b[2J", "a control byte 0x1B"},
        {crOnly,
         "line 6: the // comment takes the rest of the file: its lines end in CR alone; so it "
         "does not set Initial_Pos_Y"},
        {"/* block " + whole.substr(whole.find("Initial_Pos_X")),
         "line 1: the /* comment is never closed"},
        {"Edge_BM = 1;",
         "does not set Initial_Pos_X, Initial_Pos_Y, Edge_Size, Edge_Reduc, "
         "Edge_Shift, MultInit_XN"},
        {with("Edge_BM", "0x100"), "Edge_BM = 0x100 does not fit in a byte"},
        {with("Center_Area", "65536"), "Center_Area = 65536 does not fit in 16 bits"},
        {with("Edge_BM", "99999999999999999999"), "does not fit in a byte"},
        {with("Edge_BM", "0x1G"), "Edge_BM = 0x1G is not a number"},
        {with("Edge_BM", ""), "is not a number"},
        // A statement without its ';' is no statement.
        {whole.substr(0, whole.rfind(';')), "does not set Center_BM"},
    };
    for (const auto& c : cases) {
        CalibrationRecord record{};
        std::string error;
        const bool ok = ParseBlockText(c.text, &record, &error);
        const std::string got = ok ? FormatCalibrationFile(record) : error;
        EXPECT_NE(got.find(c.expected), std::string::npos) << c.text << "\n-> " << got;
    }
}

// The virtual stick's file is its EEPROM image, address i at offset i, and a
// file of any other size is refused and left as it is. The stick holds what
// the file holds each time it is opened: another program may have written it
// between two uses, and one that is no image by then fails the open rather
// than leave the stick showing an older one.
TEST_F(ServiceCommands, EepromFileIsTheStickEachTimeItOpensAndOtherSizesAreRefused) {
    sim::Eeprom e;
    for (std::size_t i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>(255 - i);
    const app::EepromFile file(Path("stick.bin"));
    ASSERT_TRUE(file.Save(e));
    {
        std::ifstream in(Path("stick.bin"), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                  std::string(e.begin(), e.end()));
    }  // closed: Windows replaces no file that is open
    sim::VirtualStick& stick = AddStick("S1", kCounting);
    std::string error;
    ASSERT_TRUE(file.Keep(stick, &error)) << error;
    EXPECT_EQ(stick.EepromContents(), e);
    ASSERT_TRUE(app::EepromFile(Path("stick.bin")).Save(Holding(kOther)));
    Result r = Run({"dump", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, FormatCalibrationFile(kOther));
    Write("stick.bin", "x");
    r = Run({"dump", "-"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(stick.EepromContents(), Holding(kOther));
    for (std::size_t size : {0u, 255u, 257u}) {
        Write("stick.bin", std::string(size, 'x'));
        EXPECT_FALSE(file.Keep(stick, &error)) << "size " << size;
        EXPECT_EQ(error, Path("stick.bin") + " is not a 256-byte EEPROM image (left as it is)");
        EXPECT_EQ(Read("stick.bin"), std::string(size, 'x'));
    }
}

TEST_F(ServiceCommands, DumpRestoreVerifyRoundTrip) {
    sim::VirtualStick& stick = AddStick("S1", kCounting);
    Result r = Run({"dump", Path("before.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read("before.txt"), FormatCalibrationFile(kCounting));

    Write("other.txt", FormatCalibrationFile(kOther));
    r = Run({"restore", Path("other.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("read back and verified"), std::string::npos) << r.err;
    EXPECT_EQ(stick.EepromContents(), Holding(kOther));
    // The block the stick held before, in a dated backup.
    EXPECT_EQ(Backup(), FormatCalibrationFile(kCounting));

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
    EXPECT_EQ(stick.EepromContents(), Holding(kCounting));
    EXPECT_EQ(Run({"restore", "--no-backup", Path("other.txt")}).status, 0);
    EXPECT_EQ(Backup(), FormatCalibrationFile(kCounting)) << "no new dated backup";
}

// A restore that wrote something keeps the dated backup of the block before
// and says where it is; every other refusal leaves no backup.
TEST_F(ServiceCommands, RefusalsAndFailuresWithTheirStatus) {
    const std::string block = Path("block.txt");
    constexpr auto kNoReply = sim::StickFaults{.dropReplies = sim::StickFaults::kAlways};
    const struct {
        std::vector<std::string> args;
        sim::StickFaults faults;
        bool plugged;
        int status;
        const char* message;
    } cases[] = {
        // clang-format off
        {{"dump", Path("exists.txt")}, {}, true, 1, "exists; dump --force"},
        {{"dump", Path("d.txt")}, {}, false, 1, "no stick found"},
        {{"dump", Path("d.txt")}, kNoReply, true, 1, "cannot read the EEPROM"},
        {{"restore", Path("partial.txt")}, {}, true, 2, "partial.txt: does not set Initial_Pos_X"},
        {{"restore", Path("none.txt")}, {}, true, 1, "cannot read"},
        {{"restore", "--backup", Path("exists.txt"), block}, {}, true, 1,
         "exists; nothing was written"},
        {{"restore", block}, kNoReply, true, 1, "for the backup; nothing was written"},
        {{"restore", block}, {.ignoreWrites = true}, true, 1, "does not read back as"},
        {{"restore", block}, {.flipBitAddress = 110}, true, 1,
         "Initial_Pos_X: stick 0x4001, file 0x4000"},
        {{"verify", Path("partial.txt")}, {}, true, 2, "does not set Initial_Pos_X"},
        {{"list"}, {}, false, 1, "no stick found"},
        // clang-format on
    };
    for (const auto& c : cases) {
        Fresh();
        Write("block.txt", FormatCalibrationFile(kOther));
        Write("partial.txt", "Edge_BM = 1; Center_BM = 2;");
        Write("exists.txt", "keep me");
        sim::VirtualStick& stick = AddStick("S1", kCounting);
        stick.SetFaults(c.faults);
        if (!c.plugged) stick.Unplug();

        const Result r = Run(c.args);
        const std::string name = testing::PrintToString(c.args);
        EXPECT_EQ(r.status, c.status) << name << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << name << ": " << r.err;
        EXPECT_EQ(stick.EepromContents() == Holding(kCounting), c.faults.flipBitAddress < 0)
            << name;
        const bool written = c.faults.ignoreWrites || c.faults.flipBitAddress >= 0;
        EXPECT_EQ(Backup(), written ? FormatCalibrationFile(kCounting) : "") << name;
        EXPECT_EQ(r.err.find("its block before is in") != std::string::npos, written) << name;
        EXPECT_EQ(Read("exists.txt"), "keep me") << name;
    }
}

// Another restore started in the same second has the dated name already:
// the backup takes the next free one instead of replacing that one's.
TEST_F(ServiceCommands, ABackupTakesTheNextFreeNameAndReplacesNothing) {
    AddStick("S1", kCounting);
    Write("block.txt", FormatCalibrationFile(kOther));
    const std::vector<std::string> taken = {service::DatedBackupName(1),
                                            service::DatedBackupName(2)};
    for (const std::string& name : taken) Write(name, "another stick's block");
    const Result r = Run({"restore", Path("block.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> ours;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("kx9-backup-", 0) != 0) continue;
        if (std::find(taken.begin(), taken.end(), name) != taken.end()) {
            EXPECT_EQ(Read(name), "another stick's block") << name;
        } else {
            ours.push_back(name);
        }
    }
    ASSERT_EQ(ours.size(), 1u) << testing::PrintToString(ours);
    EXPECT_EQ(Read(ours[0]), FormatCalibrationFile(kCounting));
    EXPECT_NE(r.err.find("backed up to " + Path(ours[0])), std::string::npos) << r.err;
}

TEST_F(ServiceCommands, DeviceChoosesAmongTwoSticksByNodeOrSerial) {
    AddStick("A-100", kCounting);
    AddStick("B-200", kOther);
    const struct {
        std::vector<std::string> args;
        const CalibrationRecord* dumped;  // or null when refused with the message
        const char* message;
    } cases[] = {
        // clang-format off
        {{}, &kCounting, ""},
        {{"--device", "B-200"}, &kOther, ""},
        {{"--device", "stick-2"}, &kOther, ""},
        {{"--device", "C-300"}, nullptr,
         "no stick C-300; found: stick-1 (serial A-100), stick-2 (serial B-200)"},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"dump", "-"});
        const Result r = Run(args);
        EXPECT_EQ(r.status, c.dumped ? 0 : 1) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << args[0] << ": " << r.err;
        EXPECT_EQ(r.out, c.dumped ? FormatCalibrationFile(*c.dumped) : "") << args[0];
    }
}

TEST_F(ServiceCommands, ListJsonParsesWithStableFields) {
    AddStick("A-100", kCounting);
    // A serial with C0 controls (an OSC that would retitle a terminal), DEL,
    // a C1 control (CSI) and a byte that is no UTF-8.
    const std::string hostile = "B-200\x01\x1b]0;x\x07\x7f\xc2\x9b\xff";
    AddStick(hostile, kOther);
    const Result r = Run({"--device", hostile, "list", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json list = nlohmann::json::parse(r.out).at("controllers");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], nlohmann::json::parse(R"({"node": "stick-1", "vendor_id": "0f3d",
        "product_id": "0402", "name": "Kx9 virtual stick", "serial": "A-100", "port": "",
        "input_report_length": 64, "output_report_length": 64, "kx9": true, "selected": false})"));
    EXPECT_EQ(list[1].at("selected"), true);
    // Cleaned as the text list is: what a script decodes holds no control,
    // and neither does the document itself (no escapes, no raw DEL or C1).
    const std::string p = "\xEF\xBF\xBD";
    EXPECT_EQ(list[1].at("serial"), "B-200" + p + p + "]0;x" + p + p + p + p);
    EXPECT_EQ(r.out.find("\\u00"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find_first_of("\x7f\x9b"), std::string::npos) << r.out;

    // The text list cleans what the device says before it reaches a terminal.
    const Result text = Run({"list"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out.find('\x01'), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("* 0f3d:0402"), std::string::npos) << text.out;
}

}  // namespace
