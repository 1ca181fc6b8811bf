// Whole runs of the kx9calib program in script mode on the virtual stick,
// each in a folder of its own holding the configuration file: what it
// prints, the EEPROM file it leaves, the dump it writes, and how it refuses
// bad scripts and files. With KX9CALIB_RUN set (a command line that runs the
// Windows program under Wine) the same runs check kx9calib.exe; what only a
// POSIX system can arrange (a FIFO, another user) is left out there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "calib/calibration_file.h"
#include "tests/common/test_folder.h"
#include "tests/common/worked_example.h"

namespace {

namespace fs = std::filesystem;

// The worked example: centre 8000/7F80, up 0080, a failed right at BF00,
// then FF00, down FFFF, left 0000; unplug; a new stick, centred; dump.
constexpr const char* kWorkedExample =
    "# worked example\nstick 0x8000 0x7F80\nkey space\nstick 0x8000 0x0080\nkey space\n"
    "stick 0xBF00 0x8000\nkey space\nshow\nstick 0xFF00 0x8000\nkey space\n"
    "stick 0x8000 0xFFFF\nkey space\nstick 0x0000 0x8000\nkey space\nshow\n"
    "unplug\nwait 600\nshow\nstick 0x8000 0x8000\nplug\nkey space\n"
    "save dump.txt\nclick 1006\n";

CalibrationRecord WorkedExampleRecord() {
    CalibrationBlock block;
    std::copy(kWorkedExampleBlock.begin(), kWorkedExampleBlock.end(), block.begin());
    CalibrationRecord record{};
    UnpackCalibrationBlock(block, record);
    return record;
}

struct Result {
    int status = -1;
    std::string out, err;
};

class Kx9calibScript : public ::testing::Test {
  protected:
    void SetUp() override {
        // A name of this run's own: two runs of the suite on one machine must
        // not clear each other's folder.
        folder = TestFolder("kx9calib-");
        fs::remove_all(folder);
        fs::create_directories(folder);
        // The eight edge and centre parameters all 0, as in the worked example.
        Write("kx9JoystickCalibration.txt",
              "Edge_Size = 0; Edge_Reduc = 0; Edge_Shift = 0; Edge_BM = 0;\n"
              "Center_Area = 0; Center_Reduc = 0; Center_Shift = 0; Center_BM = 0;\n");
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(folder / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // A text file, whatever line ends the system that wrote it uses.
    std::string ReadText(const std::string& name) {
        std::string text = Read(name);
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at)) {
            text.erase(at, 1);
        }
        return text;
    }
    static const char* WindowsProgram() { return std::getenv("KX9CALIB_RUN"); }
    // Runs the program in the folder with nothing on standard input; one
    // that hangs fails after a minute (status 124) instead of the suite.
    // `as` goes in front of the program (setpriv to run it as another user).
    Result Run(const std::string& args, const std::string& as = "") {
        const std::string program =
            WindowsProgram() != nullptr ? std::string(WindowsProgram()) : "'" KX9CALIB "'";
        const std::string command = "cd '" + folder.string() + "' && timeout 60 " + as + " " +
                                    program + " " + args +
                                    " > out.txt 2> err.txt < /dev/null; echo $? > status.txt";
        if (std::system(command.c_str()) != 0) return {};
        return {std::atoi(Read("status.txt").c_str()), Read("out.txt"), Read("err.txt")};
    }

    fs::path folder;
};

TEST_F(Kx9calibScript, WorkedExampleTranscriptEepromAndDump) {
    const std::string data = kWorkedExampleDataText;
    const std::string blockLines = data.substr(data.rfind("\n\n") + 2);
    const std::string transcript =
        "visible: IDC_STEP_PLUG IDC_STEP_UP IDC_STEP_RIGHT IDC_PIC_3\n"
        "[box] Debug (MB_OK)\n" +
        data +
        "\n[end]\n"
        "visible: IDC_STEP_PLUG IDC_STEP_UP IDC_STEP_RIGHT IDC_STEP_DOWN IDC_STEP_LEFT "
        "IDC_STEP_UNPLUG\n"
        "visible: IDC_STEP_PLUG IDC_PIC_1\n"
        "[box] Debug (MB_OK)\nREAD DATA\n" +
        blockLines +
        "\n[end]\n"
        "[file] Kx9_Joystick_FW.txt -> dump.txt\n"
        "[box] Vormlark Joystick Calibration (Version 1.10) (MB_ICONINFORMATION)\n"
        "You have completed calibration.\n[end]\n";
    Write("worked.kx9", kWorkedExample);
    // Full-length reports, then short ones that carry the block in chunks.
    for (const char* lengths : {"", "--sim-input-length 12 --sim-output-length 9 "}) {
        SCOPED_TRACE(lengths);
        fs::remove(folder / "stick.bin");
        fs::remove(folder / "dump.txt");
        const Result r = Run(std::string("--simulate ") + lengths +
                             "--sim-eeprom stick.bin --script worked.kx9");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, transcript);
        const std::string image = Read("stick.bin");
        ASSERT_EQ(image.size(), 256u);
        EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 110, image.begin() + 128),
                  kWorkedExampleBlock);
        EXPECT_EQ(image.substr(100, 10), std::string(10, '\xFF')) << "outside the block";
        EXPECT_EQ(ReadText("dump.txt"), FormatCalibrationFile(WorkedExampleRecord()));
    }
}

TEST_F(Kx9calibScript, BadScriptsAndFilesStopBeforeAnythingRuns) {
    Write("bad.kx9", "show\nkey space\njump 3\nclose\n");
    const Result r = Run("--simulate --sim-eeprom never.bin --script bad.kx9");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad.kx9:3: unknown command \"jump\""), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << "nothing ran";
    EXPECT_FALSE(fs::exists(folder / "never.bin")) << "nothing ran";

    // A file that is no EEPROM image is refused, not overwritten.
    Write("show.kx9", "show\n");
    Write("short.bin", "0123456789");
    const Result odd = Run("--simulate --sim-eeprom short.bin --script show.kx9");
    EXPECT_EQ(odd.status, 1);
    EXPECT_NE(odd.err.find("not a 256-byte EEPROM image"), std::string::npos) << odd.err;
    EXPECT_EQ(Read("short.bin"), "0123456789");
}

// The transcript names the file as written, the added extension included,
// and shows outside text (here a file name that tries to retitle the
// terminal) with its controls replaced.
TEST_F(Kx9calibScript, TranscriptShowsThePathWrittenAndNoControls) {
    fs::create_directories(folder / "sub");
    const std::string hostile = "evil\x1b]0;owned\x07";
    const std::string abs = (folder / "abs").string();
    // On Windows: backslashes shown, a name with controls refused by the
    // file system (the transcript still shows it cleaned), and a POSIX
    // absolute path is Wine's to map, so not tried.
    const bool windows = WindowsProgram() != nullptr;
    const struct {
        std::string saved, written, shown, shownOnWindows;
    } files[] = {
        {"plainname", "plainname.txt", "plainname.txt", "plainname.txt"},
        {"sub/../sub/dump", "sub/dump.txt", "sub/dump.txt", "sub\\dump.txt"},
        {hostile, hostile + ".txt", "evil\xEF\xBF\xBD]0;owned\xEF\xBF\xBD.txt",
         "evil\xEF\xBF\xBD]0;owned\xEF\xBF\xBD.txt"},
        {abs, "abs.txt", abs + ".txt", ""},
    };
    std::string script;
    for (const auto& f : files) {
        if (!windows || !f.shownOnWindows.empty()) script += "save " + f.saved + "\nclick 1006\n";
    }
    Write("save.kx9", script);
    const Result r = Run("--simulate --script save.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const auto& f : files) {
        if (windows && f.shownOnWindows.empty()) continue;
        EXPECT_EQ(fs::exists(folder / f.written), !windows || f.saved != hostile) << f.written;
        const std::string line =
            "[file] Kx9_Joystick_FW.txt -> " + (windows ? f.shownOnWindows : f.shown) + "\n";
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;
    }
    EXPECT_EQ(r.out.find_first_of("\x1b\x07"), std::string::npos) << r.out;
}

TEST_F(Kx9calibScript, ScriptsThatCannotGoOnEndEarlyAndSaySo) {
    // Calibrated and unplugged, discovery finds nothing: keys reach the
    // dialog's own handling, and Enter ends it without the close path.
    Write("enter.kx9",
          "stick 0x8000 0x8000\nkey space\nstick 0x8000 0\nkey space\n"
          "stick 0xFFFF 0x8000\nkey space\nstick 0x8000 0xFFFF\nkey space\n"
          "stick 0 0x8000\nkey space\nunplug\nwait 600\nkey enter\nshow\n");
    const Result r = Run("--simulate --script enter.kx9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[box] Debug (MB_OK)\nDATA\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("visible:"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ended before line 14"), std::string::npos) << r.err;

    // Lost in step 2 and plugged in again: the dialog's link is dead, so the
    // move never reaches it, and nothing after it may run as if it had.
    Write("lost.kx9", "stick 0x8000 0x8000\nkey space\nunplug\nplug\nshow\nstick 0x8000 0\nshow\n");
    const Result lost = Run("--simulate --script lost.kx9");
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.out, "visible: IDC_STEP_PLUG IDC_STEP_UP IDC_PIC_2\n");
    EXPECT_NE(lost.err.find("line 6: no report at the new position"), std::string::npos)
        << lost.err;
}

// The service commands through main: the command line reaching them, the
// virtual stick's options reaching the stick, and the exit statuses. The
// configuration is a pipe nobody writes: the commands never read it, and
// the dialog refuses it at once.
TEST_F(Kx9calibScript, ServiceCommandsRunOnTheVirtualStick) {
    fs::remove(folder / "kx9JoystickCalibration.txt");
    if (WindowsProgram() == nullptr) {
        ASSERT_EQ(
            std::system(
                ("mkfifo '" + (folder / "kx9JoystickCalibration.txt").string() + "'").c_str()),
            0);
    }
    Write("show.kx9", "show\n");
    Write("block.txt", FormatCalibrationFile(WorkedExampleRecord()));
    Write("partial.txt", "Edge_BM = 1;");
    const struct {
        const char* args;
        int status;
        const char* out;  // a part of standard output
        const char* err;  // a part of standard error
    } cases[] = {
        {"--simulate --sim-eeprom e.bin list --json", 0, "\"serial\": \"KX9SIM0001\"", ""},
        {"--simulate --sim-eeprom e.bin restore block.txt", 0, "", "read back and verified"},
        {"--simulate --sim-eeprom e.bin --device KX9SIM0001 verify block.txt", 0, "",
         "holds the block of block.txt"},
        {"--simulate --sim-eeprom e.bin dump -", 0, "MultInit_XN   = 0x81;", ""},
        {"--simulate --sim-eeprom e.bin --sim-reply-latency 700 dump late.txt", 0, "",
         "is in late.txt"},
        // A blank stick that keeps nothing, or one bit wrong (no dated
        // backup, which another restore in the same second would hold).
        {"--simulate --sim-ignore-writes restore --no-backup block.txt", 1, "",
         "does not read back as"},
        {"--simulate --sim-flip-bit=0x70 restore --no-backup block.txt", 1, "",
         "Initial_Pos_Y: stick 0x3FC1, file 0x3FC0"},
        {"--simulate --device virtual-stick-2 dump -", 1, "", "found: virtual-stick-1"},
        // Lengths no transfer works with are said, with the bounds, before
        // anything is sent.
        {"--simulate --sim-output-length 4 restore block.txt", 1, "",
         "cannot carry the block: output reports of 4 bytes (a request needs 5 to 259); "
         "nothing was sent"},
        {"--simulate --sim-output-length 260 verify block.txt", 1, "", "of 260 bytes"},
        {"--simulate --sim-input-length 5 dump -", 1, "",
         "input reports of 5 bytes (9 replies carry the 18 bytes only with 6 or more)"},
        {"--simulate restore partial.txt", 2, "", "does not set Initial_Pos_X"},
        {"dump --simulate", 2, "", "--simulate goes before the command dump"},
        {"--simulate --script show.kx9", 0, "Error loading kx9JoystickCalibration.txt file.", ""},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
}

}  // namespace

// The virtual stick's file is saved after every write request, and a save
// that cannot be made fails that write: in a folder that takes no new file
// the restore fails and the file keeps its bytes. Root writes anywhere, so
// root runs the program as nobody.
TEST_F(Kx9calibScript, SimEepromIsSavedPerWriteOrTheWriteFails) {
    if (WindowsProgram() != nullptr) GTEST_SKIP() << "POSIX permissions and users";
    Write("block.txt", FormatCalibrationFile(WorkedExampleRecord()));
    fs::create_directories(folder / "ro");
    ASSERT_EQ(Run("--simulate --sim-eeprom ro/e.bin verify block.txt").status, 1);
    const std::string blank = Read("ro/e.bin");
    ASSERT_EQ(blank, std::string(256, '\xFF'));
    const Result saved = Run("--simulate --sim-eeprom saved.bin restore --no-backup block.txt");
    EXPECT_EQ(saved.status, 0) << saved.err;
    const std::string image = Read("saved.bin");
    ASSERT_EQ(image.size(), 256u);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 110, image.begin() + 128),
              std::vector<std::uint8_t>(kWorkedExampleBlock.begin(), kWorkedExampleBlock.end()));

    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((folder / "ro" / "e.bin").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown((folder / "ro").c_str(), 65534, 65534), 0);
    }
    fs::permissions(folder / "ro", fs::perms(0555));
    const Result r = Run("--simulate --sim-eeprom ro/e.bin restore --no-backup block.txt",
                         root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "");
    fs::permissions(folder / "ro", fs::perms(0755));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("verified"), std::string::npos) << r.err;
    EXPECT_EQ(Read("ro/e.bin"), blank);
}
