#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "calib/calibration_file.h"
#include "calib/replace_file.h"
#include "tests/calib/record_printer.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using R = CalibrationRecord;

namespace {

// Every field set, so a case that must change nothing shows any stray store.
constexpr R kSentinel{0x1111, 0x2222, 0x3333, 0x44,   0x55, 0x66, 0x77,
                      0x88,   0x99,   0xAA,   0xBBBB, 0xCC, 0xDD, 0xEE};

template <class T>
R With(T R::*field, unsigned value, R r = kSentinel) {
    r.*field = static_cast<T>(value);
    return r;
}

R Applied(const std::string& text, R r = kSentinel) {
    // An exact-size heap copy, so a read past the end trips the sanitizer.
    std::unique_ptr<char[]> bytes(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), bytes.get());
    ApplyCalibrationText(bytes.get(), text.size(), r);
    return r;
}

struct SyntaxCase {
    const char* what;
    std::string text;
    R expected;
};

TEST(CalibrationText, EverySyntaxRule) {
    const std::string pad502(502, ' '), pad503(503, ' ');
    const SyntaxCase cases[] = {
        {"empty file", "", kSentinel},
        {"comments only", "/* a */ // b\n", kSentinel},
        {"no ';' after the last statement", "Center_BM = 0x03", kSentinel},
        {"key case, 0X, lower-case hex", "edge_size=0X1a;", With(&R::Edge_Size, 0x1A)},
        {"upper-case key", "CENTER_AREA = 0x0123;", With(&R::Center_Area, 0x0123)},
        {"blanks inside a key", "Edge _ Size = 5;", With(&R::Edge_Size, 5)},
        {"tab, CR, LF inside a key", "\tEdge_\r\nBM\t=\t9;", With(&R::Edge_BM, 9)},
        {"16-bit modulo", "Edge_Size = 70000;", With(&R::Edge_Size, 4464)},
        {"8-bit modulo", "Edge_Reduc = 0x1FF;", With(&R::Edge_Reduc, 0xFF)},
        {"beyond 32 bits", "Edge_Size = 0x123456789;", With(&R::Edge_Size, 0x6789)},
        {"comment inside a statement", "Edge_Size = 1 // note\n2;", With(&R::Edge_Size, 12)},
        {"second '='", "Edge_Size = 1 = 2;", With(&R::Edge_Size, 12)},
        {"no '='", "Edge_Size 5;", kSentinel},
        {"a bare key", "Edge_BM;", kSentinel},
        {"unknown and near-miss keys", "Unknown_Key=7;Edge_B=1;Edge_BMX=1;", kSentinel},
        {"';' in a block comment", "Edge_BM = 1 /* ; */ 2;", With(&R::Edge_BM, 12)},
        {"';' in a line comment", "Edge_BM = 1 // ;\n2;", With(&R::Edge_BM, 12)},
        {"block comments do not nest", "/* a /* b */ Edge_BM = 1;", With(&R::Edge_BM, 1)},
        {"\"//*\" opens a line comment", "//*\nEdge_BM = 4;", With(&R::Edge_BM, 4)},
        {"\"/*/\" does not close", "/*/ Edge_BM=1; */ Edge_Shift=2;", With(&R::Edge_Shift, 2)},
        {"\"/**/\" closes", "/**/Edge_BM=3;", With(&R::Edge_BM, 3)},
        {"CR does not end a line comment", "// c\rEdge_BM=1;\nEdge_Shift=2;",
         With(&R::Edge_Shift, 2)},
        {"unterminated block comment", "Edge_BM=1; /* Edge_Shift=2;", With(&R::Edge_BM, 1)},
        {"'/' as the last byte", "Edge_BM=1;/", With(&R::Edge_BM, 1)},
        {"lone '/' is text", "Edge_BM = 1/2;", With(&R::Edge_BM, 12)},
        {"sign skipped", "Edge_Size = -5;", With(&R::Edge_Size, 5)},
        {"inner blank skipped", "Edge_Size = 1 000;", With(&R::Edge_Size, 1000)},
        {"stray letter skipped", "Edge_Size = 0x1G;", With(&R::Edge_Size, 1)},
        {"no digits store 0", "Edge_BM = ;", With(&R::Edge_BM, 0)},
        {"digits before 0x stay", "Edge_Size = 10x5;", With(&R::Edge_Size, 165)},
        {"hex to the end", "Edge_Size = 0x1 9;", With(&R::Edge_Size, 0x19)},
        {"x not after 0", "Edge_Size = x10;Edge_Reduc = 0 x10;",
         With(&R::Edge_Reduc, 10, With(&R::Edge_Size, 10))},
        {"hex letters in decimal skipped", "Edge_Size = 1A2;", With(&R::Edge_Size, 12)},
        {"last statement wins", "Edge_BM=1;Edge_BM=2;", With(&R::Edge_BM, 2)},
        {"NUL ends the statement", "Edge_BM = 1\0 2;Edge_Shift = 3;"s,
         With(&R::Edge_Shift, 3, With(&R::Edge_BM, 1))},
        {"NUL inside the key", "Edge\0_BM = 4;"s, kSentinel},
        {"blanks do not fill the key", std::string(300, ' ') + "Edge_BM = 5;",
         With(&R::Edge_BM, 5)},
        {"over-long key",
         std::string(98, 'A') + "Edge_BM=5;Edge_BM" + std::string(200, 'Z') + "=5;", kSentinel},
        {"511 characters, then ';'", "Edge_BM=" + pad502 + "7;Edge_Shift=3;",
         With(&R::Edge_Shift, 3, With(&R::Edge_BM, 7))},
        {"the 512th character is lost", "Edge_BM=" + pad503 + "7Edge_Shift=3;",
         With(&R::Edge_Shift, 3, With(&R::Edge_BM, 0))},
    };
    for (const SyntaxCase& c : cases) {
        EXPECT_EQ(Applied(c.text), c.expected) << c.what;
    }
}

const R kExample{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                 0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};
// One literal per group of lines, each line ended by '\n'.
const char kExampleText[] =
    "/*\n  Zentravo Kx-9 Joystick Calibration Tool - Output/Configuration file.\n*/\n\n\n"
    "Initial_Pos_X = 0x4000; // 110..111\nInitial_Pos_Y = 0x3FC0; // 112..113\n\n"
    "Edge_Size     = 0x0400; // 114..115\nEdge_Reduc    = 0x20;   // 116\n"
    "Edge_Shift    = 0x03;   // 117\nEdge_BM       = 0x07;   // 118\n\n"
    "MultInit_XN   = 0x81;   // 119\nMultInit_XP   = 0x82;   // 120\n"
    "MultInit_YN   = 0x82;   // 121\nMultInit_YP   = 0x80;   // 122\n\n"
    "Center_Area   = 0x0200; // 123..124\nCenter_Reduc  = 0x10;   // 125\n"
    "Center_Shift  = 0x02;   // 126\nCenter_BM     = 0x03;   // 127\n\n";

class ScratchFolder : public ::testing::Test {
  protected:
    ScratchFolder()
        : dir_(fs::temp_directory_path() /
               ("kx9_calib_" + std::to_string(std::random_device{}()))) {
        fs::create_directories(dir_);
    }
    ~ScratchFolder() override {
        std::error_code ec;
        fs::permissions(dir_ / "file.txt", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }
    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    static void WriteBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    R Loaded(const std::string& path, R r = kSentinel) {
        EXPECT_TRUE(LoadCalibrationFile(std::fopen(path.c_str(), "rb"), r)) << path;
        return r;
    }
    // What text mode makes of '\n' on this platform.
    std::string TextLineEnd() const {
        const std::string probe = Path("probe");
        std::FILE* f = std::fopen(probe.c_str(), "wt");
        std::fputs("\n", f);
        std::fclose(f);
        std::string end = ReadBytes(probe);
        fs::remove(probe);
        return end;
    }
    fs::path dir_;
};

TEST_F(ScratchFolder, SaveWritesTheExactFormatAndLoadsItBack) {
    const std::string text = FormatCalibrationFile(kExample);
    EXPECT_EQ(text, kExampleText);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 23);

    const std::string path = Path("file.txt");
    ASSERT_TRUE(SaveCalibrationFile(path.c_str(), kExample));
    std::string expected;
    for (char c : text) expected += c == '\n' ? TextLineEnd() : std::string(1, c);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(Loaded(path, R{}), kExample);
}

TEST_F(ScratchFolder, RandomRecordsSurviveSaveAndLoad) {
    std::mt19937 random(7);
    const std::string path = Path("file.txt");
    for (int trial = 0; trial < 200; ++trial) {
        const R record = RandomRecord(random);
        ASSERT_TRUE(SaveCalibrationFile(path.c_str(), record));  // replaces the last one
        ASSERT_EQ(Loaded(path, R{}), record) << "trial " << trial;
        ASSERT_EQ(Loaded(path, RandomRecord(random)), record) << "trial " << trial;
    }
    EXPECT_EQ(Entries(), 1u) << "a temporary file was left behind";
}

FileWriteOps ShortWrite() {
    FileWriteOps ops = StandardFileWriteOps();
    ops.write = [](const void* d, std::size_t s, std::size_t n, std::FILE* f) {
        return std::fwrite(d, s, n / 2, f);
    };
    return ops;
}

FileWriteOps FailingClose() {
    FileWriteOps ops = StandardFileWriteOps();
    ops.close = [](std::FILE* f) { return std::fclose(f), EOF; };
    return ops;
}

TEST_F(ScratchFolder, FailedSaveReportsFalseAndKeepsTheOldFile) {
    const std::string path = Path("file.txt");
    const std::string text = FormatCalibrationFile(kExample);
    EXPECT_FALSE(SaveCalibrationFile(Path("missing/file.txt").c_str(), kExample));
    EXPECT_FALSE(SaveCalibrationFile("", kExample));
    EXPECT_FALSE(SaveCalibrationFile(nullptr, kExample));
    EXPECT_FALSE(SaveCalibrationFile(dir_.string().c_str(), kExample));
    EXPECT_TRUE(fs::is_directory(dir_));

    EXPECT_FALSE(WriteTextFileReplacing(path.c_str(), text, ShortWrite()));
    EXPECT_FALSE(WriteTextFileReplacing(path.c_str(), text, FailingClose()));
    EXPECT_EQ(Entries(), 0u) << "a failed save of a new file left something behind";

    WriteBytes(path, "Edge_BM = 1;");
    EXPECT_FALSE(WriteTextFileReplacing(path.c_str(), text, ShortWrite()));
    EXPECT_FALSE(WriteTextFileReplacing(path.c_str(), text, FailingClose()));
    EXPECT_EQ(ReadBytes(path), "Edge_BM = 1;");
    EXPECT_EQ(Entries(), 1u);

    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    if (std::FILE* writable = std::fopen(path.c_str(), "ab")) {
        std::fclose(writable);  // privileged user: read-only means nothing here
    } else {
        EXPECT_FALSE(SaveCalibrationFile(path.c_str(), kExample)) << "read-only file replaced";
        EXPECT_EQ(ReadBytes(path), "Edge_BM = 1;");
    }

    if (fs::exists("/dev/full")) {  // a device is written in place; its full disk must show
        EXPECT_FALSE(SaveCalibrationFile("/dev/full", kExample));
    }
}

TEST_F(ScratchFolder, SaveThroughALinkReplacesTheFileItNames) {
    const std::string target = Path("target.txt"), link = Path("link.txt");
    WriteBytes(target, "old");
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    ASSERT_TRUE(SaveCalibrationFile(link.c_str(), kExample));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Loaded(target, R{}), kExample);
}

TEST_F(ScratchFolder, LoadFailsOnlyWhenTheFileCannotBeReadWhole) {
    const std::string path = Path("file.txt");
    // Far beyond the first read, with the only statement at the very end.
    WriteBytes(path, "/*" + std::string(300000, ';') + "*/ Edge_BM = 9;");
    EXPECT_EQ(Loaded(path), With(&R::Edge_BM, 9));

    std::FILE* midway = std::fopen(path.c_str(), "rb");
    std::fgetc(midway);
    R r = kSentinel;
    EXPECT_TRUE(LoadCalibrationFile(midway, r));
    EXPECT_EQ(r, With(&R::Edge_BM, 9)) << "loading must start from the beginning";

    r = kSentinel;
    EXPECT_FALSE(LoadCalibrationFile(nullptr, r));
    EXPECT_FALSE(LoadCalibrationFile(std::fopen(path.c_str(), "ab"), r)) << "write-only stream";
    if (std::FILE* dir = std::fopen(dir_.string().c_str(), "rb")) {
        EXPECT_FALSE(LoadCalibrationFile(dir, r)) << "directory";
    }
    if (fs::exists("/bin/sh")) {
        EXPECT_FALSE(LoadCalibrationFile(popen("echo 'Edge_BM = 1;'", "r"), r)) << "pipe";
    }
    EXPECT_EQ(r, kSentinel);
}

}  // namespace
