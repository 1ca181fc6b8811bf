// The file several processes append to, on each platform's own file system:
// made when missing, read where it stands, appended whole under its lock by
// holders that take turns, and refused with the system's words.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "platform/shared_append.h"

namespace {

namespace fs = std::filesystem;

TEST(SharedAppendSeam, AppendsWholeInTurnAndSaysWhyNot) {
    const fs::path dir =
        fs::temp_directory_path() / ("kx9_append_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string path = (dir / "rows.csv").string();
    {
        plat::SharedAppendFile file;
        ASSERT_TRUE(file.Open(path.c_str())) << file.Error();
        EXPECT_EQ(file.Size(), 0);
        ASSERT_TRUE(file.Append("head\r\n") && file.Append("row\r\n") && file.FlushToDisk());
        std::string bytes;
        ASSERT_TRUE(file.ReadAt(4, 100, &bytes));
        EXPECT_EQ(bytes, "\r\nrow\r\n") << "fewer at the end";
    }
    // Two holders at once take turns: every line whole.
    const auto writer = [&](char mark) {
        for (int i = 0; i < 200; ++i) {
            plat::SharedAppendFile file;
            if (!file.Open(path.c_str())) return;
            file.Append(std::string(40, mark) + "\r\n");
        }
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    std::ifstream in(path, std::ios::binary);
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        if (lines < 2) continue;
        EXPECT_TRUE(line == std::string(40, 'a') + "\r" || line == std::string(40, 'b') + "\r")
            << line;
    }
    EXPECT_EQ(lines, 402);

    plat::SharedAppendFile folder;
    EXPECT_FALSE(folder.Open(dir.string().c_str()));
    EXPECT_NE(folder.Error(), "");
    plat::SharedAppendFile missing;
    EXPECT_FALSE(missing.Open((dir / "no" / "rows.csv").string().c_str()));
    EXPECT_NE(missing.Error(), "");
    EXPECT_NE(plat::HostName(), "");
    in.close();
    fs::remove_all(dir);
}

}  // namespace
