// The file system calls a save through a temporary file rests on, on each
// platform's own file system: what a name is, the rename over an existing
// file, the permissions the new file takes, and the file a link names; and
// the new file (a backup) that never takes the place of anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "calib/replace_file.h"
#include "platform/file_replace.h"

namespace {

namespace fs = std::filesystem;
using plat::PathKind;

class FileReplaceSeam : public ::testing::Test {
  protected:
    FileReplaceSeam() {
        fs::create_directories(dir_ / "folder");
        Write(file_, "old");
    }
    ~FileReplaceSeam() override {
        std::error_code ignored;
        fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    static void Write(const std::string& path, const char* text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string In(const char* name) const { return (dir_ / name).string(); }

    const fs::path dir_ =
        fs::temp_directory_path() / ("kx9_seam_" + std::to_string(std::random_device{}()));
    const std::string file_ = In("file.txt");
};

TEST_F(FileReplaceSeam, TellsWhatANameIsAndResolvesLinks) {
    // Symbolic links where the platform lets the test make them.
    std::error_code noLinks;
    fs::create_symlink(file_, In("link"), noLinks);
    if (!noLinks) fs::create_symlink(In("nothing"), In("dangling"), noLinks);
    const struct {
        std::string path;
        PathKind kind;
        std::string resolved;  // "" when there is none
        bool needsLinks;
    } cases[] = {
        {file_, PathKind::kRegularFile, file_, false},
        {In("folder"), PathKind::kOther, In("folder"), false},
        {In("missing"), PathKind::kNotFound, "", false},
        {In("missing/file.txt"), PathKind::kNotFound, "", false},
        {file_ + "/below", PathKind::kNotFound, "", false},  // through a file
        {"", PathKind::kNotFound, "", false},
        {In("link"), PathKind::kSymbolicLink, file_, true},
        {In("dangling"), PathKind::kSymbolicLink, "", true},
    };
    for (const auto& c : cases) {
        if (c.needsLinks && noLinks) continue;
        EXPECT_EQ(plat::KindOfPath(c.path.c_str()), c.kind) << c.path;
        const std::string resolved = plat::ResolvedPath(c.path.c_str());
        if (c.resolved.empty()) {
            EXPECT_EQ(resolved, "") << c.path;
        } else {
            // A full path, without the long-name prefix, naming the same file.
            EXPECT_TRUE(fs::path(resolved).is_absolute()) << c.path << ": " << resolved;
            EXPECT_NE(resolved.rfind("\\\\?\\", 0), 0u) << resolved;
            std::error_code ec;
            EXPECT_TRUE(fs::equivalent(resolved, c.resolved, ec)) << c.path << ": " << resolved;
        }
    }
}

TEST_F(FileReplaceSeam, CopiesPermissionsAndRenamesOverAFileOnlyWithASource) {
    const std::string fresh = In("fresh.txt");
    Write(fresh, "new");
    // A read-only file hands that on.
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::remove);
    plat::CopyFilePermissions(file_.c_str(), fresh.c_str());
    EXPECT_EQ(fs::status(fresh).permissions(), fs::status(file_).permissions());
    fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);

    // Nothing to move: the target stays as it was.
    EXPECT_FALSE(plat::RenameReplacing(In("missing").c_str(), file_.c_str()));
    EXPECT_EQ(Read(file_), "old");
    ASSERT_TRUE(plat::RenameReplacing(fresh.c_str(), file_.c_str()));
    EXPECT_EQ(Read(file_), "new");
    EXPECT_EQ(plat::KindOfPath(fresh.c_str()), PathKind::kNotFound);
}

// Whatever holds the name (a file, a link to nothing, a folder) stays as it
// was, and no temporary file is left behind either way.
TEST_F(FileReplaceSeam, ANewFileNeverTakesANameThatIsTaken) {
    std::error_code noLinks;
    fs::create_symlink(In("nothing"), In("dangling"), noLinks);
    const struct {
        std::string path;
        NewFileStatus status;
        bool needsLinks;
    } cases[] = {
        {In("new.txt"), NewFileStatus::kWritten, false},
        {file_, NewFileStatus::kExists, false},
        {In("folder"), NewFileStatus::kExists, false},
        {In("dangling"), NewFileStatus::kExists, true},
        {In("missing/new.txt"), NewFileStatus::kFailed, false},
    };
    for (const auto& c : cases) {
        if (c.needsLinks && noLinks) continue;
        EXPECT_EQ(WriteNewTextFile(c.path.c_str(), "backup"), c.status) << c.path;
    }
    EXPECT_EQ(Read(In("new.txt")), "backup");
    EXPECT_EQ(Read(file_), "old");
    EXPECT_EQ(plat::KindOfPath(In("nothing").c_str()), PathKind::kNotFound);
    for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
    // The rename itself, given a name that another program made meanwhile.
    Write(In("made.tmp"), "mine");
    EXPECT_EQ(plat::RenameNotReplacing(In("made.tmp").c_str(), file_.c_str()),
              plat::RenameResult::kTaken);
    EXPECT_EQ(Read(file_), "old");
    EXPECT_EQ(Read(In("made.tmp")), "mine");
}

}  // namespace
