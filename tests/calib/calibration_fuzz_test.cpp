#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "calib/calibration_file.h"
#include "tests/calib/record_printer.h"

namespace {

// Pieces the scanner and parser branch on, long blank runs that reach the
// statement and key limits, NUL bytes, and now and then any byte at all.
std::string RandomText(std::mt19937& random) {
    static const char* const kKeys[] = {";Edge_BM=", "; center_area\t=", ";Initial_Pos_X="};
    static const char* const kPieces[] = {";",  "=",   "0x",   "0", "19", "aF", "G",
                                          "x",  " \t", "\r\n", "-", "//", "/*", "*/",
                                          "*/", "//*", "/*/",  "*", "/"};
    std::string text;
    for (std::size_t length = random() % 1400; text.size() < length;) {
        const unsigned pick = random() % 100;
        if (pick < 16) {
            text += kKeys[random() % std::size(kKeys)];
        } else if (pick < 96) {
            text += kPieces[random() % std::size(kPieces)];
        } else if (pick < 98) {
            text += '\0';
        } else if (pick < 99) {
            text.append(300, ' ');
        } else {
            text += static_cast<char>(random());
        }
    }
    return text;
}

TEST(CalibrationFuzz, ArbitraryBytesNeverCrashAndFileAndMemoryAgree) {
    std::mt19937 random(1234567);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kx9_calib_fuzz_" + std::to_string(std::random_device{}()) + ".txt"))
                                 .string();
    int changed = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const std::string text = RandomText(random);
        // Exact size, unterminated: any read past the end is caught.
        const std::vector<char> bytes(text.begin(), text.end());
        CalibrationRecord inMemory{};
        ApplyCalibrationText(bytes.data(), bytes.size(), inMemory);
        changed += inMemory != CalibrationRecord{};

        const std::vector<char> statement(text.c_str(), text.c_str() + text.size() + 1);
        CalibrationRecord parsed{};
        ParseCalibrationStatement(statement.data(), parsed);

        if (trial % 100 == 0) {
            std::FILE* out = std::fopen(path.c_str(), "wb");
            ASSERT_NE(out, nullptr);
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
            CalibrationRecord fromFile{};
            ASSERT_TRUE(LoadCalibrationFile(std::fopen(path.c_str(), "rb"), fromFile));
            ASSERT_EQ(fromFile, inMemory) << "trial " << trial;
        }
    }
    std::remove(path.c_str());
    // Guards the generator: inputs that never set a field would test little.
    EXPECT_GT(changed, 2000);
}

}  // namespace
