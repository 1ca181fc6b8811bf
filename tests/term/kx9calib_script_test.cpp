// Whole runs of the kx9calib program in script mode on the virtual stick,
// each in a folder of its own holding the configuration file: what it
// prints, the EEPROM file it leaves, the dump it writes, and how it refuses
// bad scripts, options and files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kTitle = "Vormlark Joystick Calibration (Version 1.10)";

// The eight edge and centre parameters all 0, as in the worked example.
constexpr const char* kZeroConfig =
    "Edge_Size = 0; Edge_Reduc = 0; Edge_Shift = 0; Edge_BM = 0;\n"
    "Center_Area = 0; Center_Reduc = 0; Center_Shift = 0; Center_BM = 0;\n";

// The worked example: centre 8000/7F80, up 0080, a failed right at BF00,
// then FF00, down FFFF, left 0000; unplug; a new stick, centred; dump.
constexpr const char* kWorkedExample =
    "# worked example\n"
    "stick 0x8000 0x7F80\n"
    "key space\n"
    "stick 0x8000 0x0080\n"
    "key space\n"
    "stick 0xBF00 0x8000\n"
    "key space\n"
    "show\n"
    "stick 0xFF00 0x8000\n"
    "key space\n"
    "stick 0x8000 0xFFFF\n"
    "key space\n"
    "stick 0x0000 0x8000\n"
    "key space\n"
    "show\n"
    "unplug\n"
    "wait 600\n"
    "show\n"
    "stick 0x8000 0x8000\n"
    "plug\n"
    "key space\n"
    "save dump.txt\n"
    "click 1006\n";

constexpr const char* kWorkedTranscript =
    "visible: IDC_STEP_PLUG IDC_STEP_UP IDC_STEP_RIGHT IDC_PIC_3\n"
    "[box] Debug (MB_OK)\n"
    "DATA\n"
    "Center X:8000, Y:7F80\n"
    "Min X=0000, Max X = FF00\n"
    "Min Y=0080 Max Y=FFFF\n"
    "\n"
    "InitPosX = 4000, InitPosY = 3FC0\n"
    "EdgeSize=0000\n"
    "EdgeReduc=00, EdgeShift=00, EdgeBM=00\n"
    "MultInit XN=81,XP=82,YN=82,YP=80\n"
    "CenterArea=0000\n"
    "Center Reduc=00,Shift=00,BM=00\n"
    "\n"
    "00 40 C0 3F 00 00 00 00 \n"
    "00 81 82 82 80 00 00 00 \n"
    "00 00 \n"
    "[end]\n"
    "visible: IDC_STEP_PLUG IDC_STEP_UP IDC_STEP_RIGHT IDC_STEP_DOWN IDC_STEP_LEFT "
    "IDC_STEP_UNPLUG\n"
    "visible: IDC_STEP_PLUG IDC_PIC_1\n"
    "[box] Debug (MB_OK)\n"
    "READ DATA\n"
    "00 40 C0 3F 00 00 00 00 \n"
    "00 81 82 82 80 00 00 00 \n"
    "00 00 \n"
    "[end]\n"
    "[file] Kx9_Joystick_FW.txt -> dump.txt\n"
    "[box] Vormlark Joystick Calibration (Version 1.10) (MB_ICONINFORMATION)\n"
    "You have completed calibration.\n"
    "[end]\n";

constexpr const char* kWorkedDump =
    "/*\n"
    "  Zentravo Kx-9 Joystick Calibration Tool - Output/Configuration file.\n"
    "*/\n"
    "\n"
    "\n"
    "Initial_Pos_X = 0x4000; // 110..111\n"
    "Initial_Pos_Y = 0x3FC0; // 112..113\n"
    "\n"
    "Edge_Size     = 0x0000; // 114..115\n"
    "Edge_Reduc    = 0x00;   // 116\n"
    "Edge_Shift    = 0x00;   // 117\n"
    "Edge_BM       = 0x00;   // 118\n"
    "\n"
    "MultInit_XN   = 0x81;   // 119\n"
    "MultInit_XP   = 0x82;   // 120\n"
    "MultInit_YN   = 0x82;   // 121\n"
    "MultInit_YP   = 0x80;   // 122\n"
    "\n"
    "Center_Area   = 0x0000; // 123..124\n"
    "Center_Reduc  = 0x00;   // 125\n"
    "Center_Shift  = 0x00;   // 126\n"
    "Center_BM     = 0x00;   // 127\n"
    "\n";

const std::vector<int> kWorkedBlock = {0x00, 0x40, 0xC0, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0x81, 0x82, 0x82, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00};

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Hex(const std::vector<int>& bytes) {
    std::ostringstream s;
    for (int b : bytes) s << std::hex << b << ' ';
    return s.str();
}

class Kx9calibScript : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / (std::string("kx9calib-") + info->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        Write("kx9JoystickCalibration.txt", kZeroConfig);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder);
    }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }

    // Runs the program in the folder, standard input from `input` (a file
    // name there) or nothing.
    Result Run(const std::string& args, const std::string& input = "") {
        const std::string command =
            "cd '" + folder.string() + "' && '" KX9CALIB "' " + args + " > out.txt 2> err.txt < " +
            (input.empty() ? std::string("/dev/null") : input) + "; echo $? > status.txt";
        Result r;
        if (std::system(command.c_str()) != 0) return r;
        r.status = std::atoi(ReadFile(folder / "status.txt").c_str());
        r.out = ReadFile(folder / "out.txt");
        r.err = ReadFile(folder / "err.txt");
        return r;
    }

    std::vector<int> EepromBytes(const std::string& name, std::size_t from, std::size_t count) {
        const std::string image = ReadFile(folder / name);
        std::vector<int> bytes;
        for (std::size_t i = from; i < from + count && i < image.size(); ++i) {
            bytes.push_back(static_cast<unsigned char>(image[i]));
        }
        return bytes;
    }

    fs::path folder;
};

TEST_F(Kx9calibScript, WorkedExampleTranscriptEepromAndDump) {
    Write("worked.kx9", kWorkedExample);
    const Result r = Run("--simulate --sim-eeprom stick.bin --script worked.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kWorkedTranscript);
    EXPECT_EQ(Hex(EepromBytes("stick.bin", 110, 18)), Hex(kWorkedBlock));
    EXPECT_EQ(ReadFile(folder / "dump.txt"), kWorkedDump);
    // Outside the calibration block the fresh EEPROM keeps its 0xFF.
    EXPECT_EQ(Hex(EepromBytes("stick.bin", 100, 10)), Hex(std::vector<int>(10, 0xFF)));
    EXPECT_EQ(ReadFile(folder / "stick.bin").size(), 256u);
}

TEST_F(Kx9calibScript, ShortReportsWriteTheSameBlockInChunks) {
    // 9-byte output reports carry 5 data bytes, 12-byte input reports 8.
    Write("worked.kx9", kWorkedExample);
    const Result r =
        Run("--simulate --sim-input-length 12 --sim-output-length 9 --sim-eeprom stick.bin "
            "--script worked.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kWorkedTranscript);
    EXPECT_EQ(Hex(EepromBytes("stick.bin", 110, 18)), Hex(kWorkedBlock));
}

TEST_F(Kx9calibScript, ScriptFromStandardInputAndAnEepromKeptBetweenRuns) {
    Write("worked.kx9", kWorkedExample);
    ASSERT_EQ(Run("--simulate --sim-eeprom stick.bin --script -", "worked.kx9").status, 0);
    // A second run reads the stick's block back without calibrating.
    Write("dump.kx9", "stick 0x8000 0x8000\nsave second.txt\nclick 1006\n");
    const Result r = Run("--simulate --sim-eeprom stick.bin --script dump.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("READ DATA\n00 40 C0 3F 00 00 00 00 \n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(folder / "second.txt"), kWorkedDump);
}

TEST_F(Kx9calibScript, BadScriptsStopBeforeAnythingRuns) {
    struct Case {
        std::string script;
        std::string args;
        std::string says;
    } cases[] = {
        {"show\nkey space\njump 3\nclose\n", "--simulate", "bad.kx9:3: unknown command \"jump\""},
        {"stick 1 2 3\n", "--simulate", "bad.kx9:1: stick needs X and Y"},
        {"# real sticks cannot be moved\nstick 0 0\n", "",
         "bad.kx9:2: stick, unplug and plug need --simulate"},
    };
    for (const Case& c : cases) {
        Write("bad.kx9", c.script);
        const Result r = Run(c.args + " --sim-eeprom never.bin --script bad.kx9");
        // --sim-eeprom without --simulate is itself refused.
        const Result plain = c.args.empty() ? Run("--script bad.kx9") : r;
        EXPECT_EQ(plain.status, 2) << c.script;
        EXPECT_NE(plain.err.find(c.says), std::string::npos) << plain.err;
        EXPECT_EQ(plain.out, "") << "nothing ran";
        EXPECT_FALSE(fs::exists(folder / "never.bin")) << "nothing ran";
    }
    const Result missing = Run("--simulate --script nowhere.kx9");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read the script nowhere.kx9"), std::string::npos)
        << missing.err;
}

TEST_F(Kx9calibScript, EepromFileIsMadeFilledWith0xFFAndAStrangeOneIsLeftAlone) {
    Write("show.kx9", "show\n");
    const Result fresh = Run("--simulate --sim-eeprom new.bin --script show.kx9");
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(fresh.out, "visible: IDC_STEP_PLUG IDC_PIC_1\n");
    EXPECT_EQ(ReadFile(folder / "new.bin"), std::string(256, '\xFF'));

    Write("short.bin", "0123456789");
    const Result odd = Run("--simulate --sim-eeprom short.bin --script show.kx9");
    EXPECT_EQ(odd.status, 1);
    EXPECT_NE(odd.err.find("not a 256-byte EEPROM image"), std::string::npos) << odd.err;
    EXPECT_EQ(ReadFile(folder / "short.bin"), "0123456789");
}

TEST_F(Kx9calibScript, MissingConfigurationIsReportedAsTheDialogDoes) {
    fs::remove(folder / "kx9JoystickCalibration.txt");
    Write("show.kx9", "show\n");
    const Result r = Run("--simulate --script show.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("[box] ") + kTitle +
                         " (MB_OK)\nError loading kx9JoystickCalibration.txt file.\n[end]\n"
                         "visible: IDC_STEP_PLUG IDC_PIC_1\n");
}

TEST_F(Kx9calibScript, SaveDialogAnswersFromTheScript) {
    Write("dump.kx9",
          "stick 0x8000 0x8000\n"
          "save missing/folder/x.txt\nclick 1006\n"
          "click 1006\n"
          "save plain\nclick 1006\n"
          "cancel\nclick 1006\n");
    const Result r = Run("--simulate --script dump.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);) {
        if (l.rfind("[file]", 0) == 0) files.push_back(l);
    }
    ASSERT_EQ(files.size(), 4u) << r.out;
    EXPECT_EQ(files[0].rfind("[file] Kx9_Joystick_FW.txt -> refused: The folder ", 0), 0u)
        << files[0];
    EXPECT_NE(files[0].find("does not exist."), std::string::npos) << files[0];
    EXPECT_EQ(files[1], "[file] Kx9_Joystick_FW.txt -> cancelled") << "an answer is used once";
    EXPECT_EQ(files[2], "[file] Kx9_Joystick_FW.txt -> plain");
    EXPECT_EQ(files[3], "[file] Kx9_Joystick_FW.txt -> cancelled");
    EXPECT_TRUE(fs::exists(folder / "plain.txt")) << "the default extension is added";
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST_F(Kx9calibScript, EnterEndsTheDialogWithoutAStickAndTheRestIsReported) {
    // Calibrated and unplugged, the poll finds the stick gone and discovery
    // finds nothing: keys reach the dialog's own handling, and Enter ends it
    // without the close path.
    Write("enter.kx9",
          "stick 0x8000 0x8000\nkey space\nstick 0x8000 0\nkey space\n"
          "stick 0xFFFF 0x8000\nkey space\nstick 0x8000 0xFFFF\nkey space\n"
          "stick 0 0x8000\nkey space\nunplug\nwait 600\nkey enter\nshow\n");
    const Result r = Run("--simulate --script enter.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[box] Debug (MB_OK)\nDATA\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("visible:"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("You have completed calibration."), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ended before line 14"), std::string::npos) << r.err;
}

TEST_F(Kx9calibScript, InteractiveNeedsATerminalAndHelpNamesEveryOption) {
    const Result r = Run("--simulate");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("needs a terminal"), std::string::npos) << r.err;

    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* part :
         {"--simulate", "--sim-eeprom", "--sim-input-length N", "--sim-output-length N", "--script",
          "--list", "(default 64)", "Exit status"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    EXPECT_EQ(Run("--bogus").status, 2);
}

}  // namespace
