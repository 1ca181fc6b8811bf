// The calibration record's EEPROM image and its text file: every syntax rule
// the reader follows, the writer's exact output, round trips, and saves and
// loads that fail without costing data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "calib/calibration_file.h"
#include "calib/plain_number.h"
#include "calib/replace_file.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using R = CalibrationRecord;

// Shows two records that differ as their 18 EEPROM bytes.
void PrintTo(const R& r, std::ostream* os) {
    for (unsigned b : PackCalibrationBlock(r)) *os << std::hex << b << ' ';
}

namespace {

// Every field set, so a case that must change nothing shows any stray store.
constexpr R kSentinel{0x1111, 0x2222, 0x3333, 0x44,   0x55, 0x66, 0x77,
                      0x88,   0x99,   0xAA,   0xBBBB, 0xCC, 0xDD, 0xEE};

R Applied(const std::string& text, R r = {}) {
    // An exact-size heap copy, so a read past the end trips the sanitizer.
    const std::vector<char> bytes(text.begin(), text.end());
    ApplyCalibrationText(bytes.data(), bytes.size(), r);
    return r;
}

TEST(CalibrationText, EverySyntaxRule) {
    const std::string kBom = "\xEF\xBB\xBF";
    const struct {
        std::string text;
        R expected;  // from a cleared record
    } cases[] = {
        // Comments only, and text after the last ';' is no statement.
        {"/* a */ // b\nCenter_BM = 0x03", {}},
        {"edge_size=0X1a;", {.Edge_Size = 0x1A}},      // key case, "0X", lower-case hex digits
        {"\tEdge _\r\nSize\t= 5;", {.Edge_Size = 5}},  // blanks anywhere in a key are dropped
        // Stores are modulo the field's width, and the sum wraps beyond 32 bits.
        {"Edge_Size = 70000;Center_Area = 0x123456789;Edge_Reduc = 0x1FF;",
         {.Edge_Size = 4464, .Edge_Reduc = 0xFF, .Center_Area = 0x6789}},
        // A comment, a second '=' or a lone '/' does not end a statement.
        {"Edge_Size = 1 // note\n2;Center_Area = 1 = 2;Edge_BM = 1/2;",
         {.Edge_Size = 12, .Edge_BM = 12, .Center_Area = 12}},
        // No '=', a bare key, unknown and near-miss keys.
        {"Edge_Size 5;Edge_BM;Unknown_Key=7;Edge_B=1;Edge_BMX=1;", {}},
        {"Edge_BM = 1 /* ; */ 2 // ;\n3;", {.Edge_BM = 123}},
        {"/* a /* b */ Edge_BM = 1;", {.Edge_BM = 1}},  // no nesting
        {"//*\nEdge_BM = 4;", {.Edge_BM = 4}},          // a line comment
        {"/*/ Edge_BM=1; */ Edge_Shift=2;/**/Center_BM=3;", {.Edge_Shift = 2, .Center_BM = 3}},
        {"// c\rEdge_BM=1;\nEdge_Shift=2;", {.Edge_Shift = 2}},  // CR is no line end
        {"Edge_BM=1; /* Edge_Shift=2;", {.Edge_BM = 1}},
        {"Edge_BM=1;/", {.Edge_BM = 1}},
        // Signs, inner blanks and stray letters are skipped.
        {"Edge_Size = -5;Center_Area = 1 000;Edge_BM = 0x1G;",
         {.Edge_Size = 5, .Edge_BM = 1, .Center_Area = 1000}},
        {"Edge_BM=1;Edge_BM = ;Center_BM=2;Center_BM=3;", {.Center_BM = 3}},  // the last wins
        // Digits before "0x" stay and the rest is hex; an 'x' not after '0'
        // and hex letters in a decimal value are skipped.
        {"Edge_Size = 10x5;Center_Area = 0x1 9;Edge_Reduc = 0 x10;Edge_BM=1A2;",
         {.Edge_Size = 165, .Edge_Reduc = 10, .Edge_BM = 12, .Center_Area = 0x19}},
        {"Edge_BM = 1\0 2;Edge_Shift = 3;Edge\0_Reduc = 4;"s, {.Edge_Shift = 3, .Edge_BM = 1}},
        {std::string(300, ' ') + "Edge_BM = 5;", {.Edge_BM = 5}},
        // Only 99 key characters count.
        {std::string(98, 'A') + "Edge_BM=5;Edge_BM" + std::string(200, 'Z') + "=5;", {}},
        // A full statement is cut at 511 characters and the 512th is lost.
        {"Edge_BM=" + std::string(502, ' ') + "7;Edge_Shift=3;", {.Edge_Shift = 3, .Edge_BM = 7}},
        {"Edge_BM=9;Edge_BM=" + std::string(503, ' ') + "7Edge_Shift=3;", {.Edge_Shift = 3}},
        // A leading UTF-8 byte-order mark (a Windows editor's) is skipped;
        // anywhere else it is key text as before.
        {kBom + "Edge_BM=5;", {.Edge_BM = 5}},
        {kBom + "/* c */Edge_BM=5;", {.Edge_BM = 5}},
        {kBom + kBom + "Edge_BM=5;", {}},
        {"Edge_BM=5;" + kBom + "Edge_Shift=3;", {.Edge_BM = 5}},
        {kBom.substr(0, 2) + "Edge_BM=5;", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Applied(c.text), c.expected) << testing::PrintToString(c.text);
        // A case that changes nothing must not even store a zero.
        if (c.expected == R{}) {
            EXPECT_EQ(Applied(c.text, kSentinel), kSentinel) << testing::PrintToString(c.text);
        }
    }
}

class CalibrationFile : public ::testing::Test {
  protected:
    CalibrationFile() { fs::create_directories(dir_); }
    ~CalibrationFile() override { fs::remove_all(dir_); }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int Entries() const {
        return static_cast<int>(std::distance(fs::directory_iterator(dir_), {}));
    }
    const fs::path dir_ =
        fs::temp_directory_path() / ("kx9_calib_" + std::to_string(std::random_device{}()));
    const std::string path_ = (dir_ / "file.txt").string();
};

TEST_F(CalibrationFile, SavesTheExactFormatAndRecordsAndBlocksRoundTrip) {
    const R example{0x4000, 0x3FC0, 0x0400, 0x20,   0x03, 0x07, 0x81,
                    0x82,   0x82,   0x80,   0x0200, 0x10, 0x02, 0x03};
    const std::string text = FormatCalibrationFile(example);
    EXPECT_EQ(text,
              "/*\n  Zentravo Kx-9 Joystick Calibration Tool - Output/Configuration file.\n*/\n\n\n"
              "Initial_Pos_X = 0x4000; // 110..111\nInitial_Pos_Y = 0x3FC0; // 112..113\n\n"
              "Edge_Size     = 0x0400; // 114..115\nEdge_Reduc    = 0x20;   // 116\n"
              "Edge_Shift    = 0x03;   // 117\nEdge_BM       = 0x07;   // 118\n\n"
              "MultInit_XN   = 0x81;   // 119\nMultInit_XP   = 0x82;   // 120\n"
              "MultInit_YN   = 0x82;   // 121\nMultInit_YP   = 0x80;   // 122\n\n"
              "Center_Area   = 0x0200; // 123..124\nCenter_Reduc  = 0x10;   // 125\n"
              "Center_Shift  = 0x02;   // 126\nCenter_BM     = 0x03;   // 127\n\n");
    // On disk every '\n' is whatever text mode makes of it here.
    std::ofstream(path_) << '\n';
    const std::string lineEnd = Read(path_);
    ASSERT_TRUE(SaveCalibrationFile(path_.c_str(), example));
    std::string expected;
    for (char c : text) expected += c == '\n' ? lineEnd : std::string(1, c);
    EXPECT_EQ(Read(path_), expected);

    // Any record's text reads back as that record: the fuzz target holds
    // that for every value, this the way through the disk.
    R loaded = kSentinel;
    ASSERT_TRUE(LoadCalibrationFile(std::fopen(path_.c_str(), "rb"), loaded));
    EXPECT_EQ(loaded, example);
    // Each field at its own addresses, low byte first: the counting record
    // packs to the bytes 0 to 17 in order.
    const R counting{0x0100, 0x0302, 0x0504, 0x06,   0x07, 0x08, 0x09,
                     0x0A,   0x0B,   0x0C,   0x0E0D, 0x0F, 0x10, 0x11};
    CalibrationBlock inOrder;
    for (int i = 0; i < kCalibBlockSize; ++i) inOrder[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(PackCalibrationBlock(counting), inOrder);
    UnpackCalibrationBlock(inOrder, loaded);
    EXPECT_EQ(loaded, counting);
    // The EEPROM image and back, with every top bit set as sign extension
    // would spoil it.
    CalibrationBlock high;
    for (int i = 0; i < kCalibBlockSize; ++i) high[i] = static_cast<std::uint8_t>(0xEE - i);
    UnpackCalibrationBlock(high, loaded);
    EXPECT_EQ(PackCalibrationBlock(loaded), high);
    EXPECT_EQ(Entries(), 1) << "a temporary file was left behind";
}

TEST_F(CalibrationFile, FailedSaveReportsFalseAndKeepsTheOldFile) {
    EXPECT_FALSE(SaveCalibrationFile((dir_ / "missing" / "file.txt").string().c_str(), {}));
    FileWriteOps shortWrite = StandardFileWriteOps(), failingClose = StandardFileWriteOps();
    shortWrite.write = [](const void* d, std::size_t s, std::size_t n, std::FILE* f) {
        return std::fwrite(d, s, n / 2, f);
    };
    failingClose.close = [](std::FILE* f) { return std::fclose(f), EOF; };
    std::ofstream(path_, std::ios::binary) << "Edge_BM = 1;";
    EXPECT_FALSE(WriteTextFileReplacing(path_.c_str(), "new text", shortWrite));
    EXPECT_FALSE(WriteTextFileReplacing(path_.c_str(), "new text", failingClose));
    EXPECT_EQ(Read(path_), "Edge_BM = 1;");
    EXPECT_EQ(Entries(), 1) << "a temporary file was left behind";
    // A device is written in place; its full disk must show.
    EXPECT_FALSE(fs::exists("/dev/full") && SaveCalibrationFile("/dev/full", {})) << "disk full";
}

TEST_F(CalibrationFile, LoadFailsOnlyWhenTheStreamCannotBeReadWhole) {
    // Far beyond the first read, with the only statement at the very end.
    std::ofstream(path_, std::ios::binary) << "/*" + std::string(300000, ';') + "*/ Edge_BM = 9;";
    std::FILE* midway = std::fopen(path_.c_str(), "rb");
    std::fgetc(midway);
    R r = kSentinel;
    EXPECT_TRUE(LoadCalibrationFile(midway, r));
    EXPECT_EQ(r.Edge_BM, 9) << "loading must start from the beginning";

    r = kSentinel;
    EXPECT_FALSE(LoadCalibrationFile(std::fopen(path_.c_str(), "ab"), r)) << "write-only stream";
    if (fs::exists("/bin/sh")) {
        EXPECT_FALSE(LoadCalibrationFile(popen("echo 'Edge_BM = 1;'", "r"), r)) << "pipe";
    }
    EXPECT_EQ(r, kSentinel);
}

// Every reader of typed numbers goes through this one: what it takes, what
// it refuses as no number and what it refuses as too large.
TEST(PlainNumber, TakesDigitsOnlyAndTellsJunkFromTooLarge) {
    using F = NumberForm;
    const struct {
        const char* text;
        F form;
        std::uint64_t max;
        NumberRead read;
        std::uint64_t value;
    } cases[] = {
        {"0", F::kDecimalOrHex, 0xFF, NumberRead::kOk, 0},
        {"255", F::kDecimalOrHex, 0xFF, NumberRead::kOk, 255},
        {"256", F::kDecimalOrHex, 0xFF, NumberRead::kTooLarge, 0},
        {"0x1aF", F::kDecimalOrHex, 0xFFFF, NumberRead::kOk, 0x1AF},
        {"0XFFFF", F::kDecimalOrHex, 0xFFFF, NumberRead::kOk, 0xFFFF},
        {"0x10000", F::kDecimalOrHex, 0xFFFF, NumberRead::kTooLarge, 0},
        {"000000000000000000000000012", F::kDecimalOrHex, 12, NumberRead::kOk, 12},
        // Past 64 bits is too large, not wrapped round to something small.
        {"18446744073709551616", F::kDecimalOrHex, ~0ull, NumberRead::kTooLarge, 0},
        {"0x10000000000000001", F::kDecimalOrHex, ~0ull, NumberRead::kTooLarge, 0},
        {"18446744073709551615", F::kDecimal, ~0ull, NumberRead::kOk, ~0ull},
        {"", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"0x", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"0x", F::kHex, 9, NumberRead::kNotANumber, 0},
        {"-1", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"+1", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"0x-1", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {" 1", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"1 ", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"1x", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        {"1a", F::kDecimalOrHex, 0xFF, NumberRead::kNotANumber, 0},
        {"0x0x1", F::kDecimalOrHex, 9, NumberRead::kNotANumber, 0},
        // Junk after digits that overflow is junk, not size.
        {"99999999999999999999z", F::kDecimalOrHex, ~0ull, NumberRead::kNotANumber, 0},
        {"0x7", F::kDecimal, 9, NumberRead::kNotANumber, 0},
        {"1a", F::kHex, 0xFF, NumberRead::kOk, 0x1A},
        {"0X1a", F::kHex, 0xFF, NumberRead::kOk, 0x1A},
        {"1g", F::kHex, 0xFF, NumberRead::kNotANumber, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t value = 7777;
        EXPECT_EQ(ReadPlainNumber(c.text, c.form, c.max, &value), c.read) << '"' << c.text << '"';
        EXPECT_EQ(value, c.read == NumberRead::kOk ? c.value : 7777) << '"' << c.text << '"';
    }
    // Only what the view holds is read, not the digits after it.
    std::uint64_t value = 0;
    EXPECT_EQ(ReadPlainNumber(std::string_view("123", 2), F::kDecimal, 99, &value),
              NumberRead::kOk);
    EXPECT_EQ(value, 12u);
}

}  // namespace
