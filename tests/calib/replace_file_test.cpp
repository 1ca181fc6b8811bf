// Saving the dump as an ordinary user would: wherever a plain open for
// writing succeeds the save succeeds too, and what the user had (the other
// names of a hard-linked file, the file's owner and mode, a symbolic link)
// is still there afterwards. The folders are made by root; a forked child
// that has become nobody does the saves and reports through a pipe.
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calib/replace_file.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The file a path names, links followed; 0 when there is none.
ino_t Inode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// What the user sees of a path afterwards.
std::string Describe(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) {
        const std::string target = fs::canonical(path).string();
        return "symlink to " + (target.rfind("/dev/", 0) == 0 ? target : Describe(target));
    }
    char text[96];
    std::snprintf(text, sizeof text, "owner %s mode %04o links %u text ",
                  st.st_uid == 0         ? "root"
                  : st.st_uid == kNobody ? "nobody"
                                         : "other",
                  static_cast<unsigned>(st.st_mode & 07777), static_cast<unsigned>(st.st_nlink));
    return text + Read(path);
}

class ReplaceFileAsOrdinaryUser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root, to make other users' files and then save as nobody";
        }
        char pattern[] = "/tmp/kx9-save-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base_ = pattern;
        fs::permissions(base_, fs::perms(0755));
    }
    void TearDown() override {
        std::error_code ignored;
        if (!base_.empty()) fs::remove_all(base_, ignored);
    }

    // A folder (for a name ending in '/') or a file holding "old", given to
    // root or to nobody.
    std::string Make(const std::string& name, unsigned mode, uid_t owner) {
        const std::string path = base_ + "/" + name;
        if (name.back() == '/') {
            fs::create_directory(path);
        } else {
            std::ofstream(path, std::ios::binary) << "old";
        }
        EXPECT_EQ(::chown(path.c_str(), owner, owner == 0 ? 0 : kNogroup), 0) << path;
        EXPECT_EQ(::chmod(path.c_str(), mode), 0) << path;
        return path;
    }

    // Runs each save as nobody; "1" or "0" per save, in order.
    static std::string SaveAsNobody(const std::vector<std::function<bool()>>& saves) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return "no pipe";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            std::string results;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0) {
                results = "could not become nobody";
            } else {
                for (const auto& save : saves) results += save() ? '1' : '0';
            }
            [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], results.data(), results.size());
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        int status = 0;
        ::waitpid(child, &status, 0);
        // One short write, whole in the pipe by the time the child is gone.
        char results[256];
        const ssize_t n = ::read(pipeFds[0], results, sizeof results);
        ::close(pipeFds[0]);
        return std::string(results, n > 0 ? static_cast<std::size_t>(n) : 0);
    }

    std::string base_;
};

TEST_F(ReplaceFileAsOrdinaryUser, SavesWhereAPlainOpenWouldAndKeepsWhatTheUserHad) {
    const std::string readOnly = Make("read-only/", 0555, kNobody);
    const std::string sticky = Make("sticky/", 01777, 0);
    const std::string shared = Make("shared/", 0777, 0);
    const std::string own = Make("own/", 0755, kNobody);
    for (const char* theirs : {"sticky/theirs", "shared/theirs"}) Make(theirs, 0666, 0);
    Make("read-only/writable", 0666, kNobody);
    Make("own/private", 0600, kNobody);
    Make("own/read-only-file", 0444, kNobody);
    for (const char* name : {"own/single-fails", "own/linked", "own/linked-fails", "own/target"}) {
        Make(name, 0644, kNobody);
    }
    fs::create_hard_link(own + "linked", own + "other-name");
    fs::create_hard_link(own + "linked-fails", own + "other-name-fails");
    fs::create_symlink(own + "target", own + "link");
    fs::create_symlink("/dev/full", own + "full");

    const FileWriteOps halfWrite{[](const void* d, std::size_t s, std::size_t n, std::FILE* f) {
                                     return std::fwrite(d, s, n / 2, f);
                                 },
                                 StandardFileWriteOps().close};
    // "in place" or "replaced" says whether the file checked is still the
    // one it was before the save; a save must report success exactly when
    // the new text is there. Names ending "-fails" are saved with writes that
    // stop half-way.
    const struct {
        std::string saved, after;
        std::string checked = saved;  // another name of the file saved
    } cases[] = {
        {readOnly + "writable", "in place: owner nobody mode 0666 links 1 text new"},
        {sticky + "theirs", "in place: owner root mode 0666 links 1 text new"},
        {shared + "theirs", "in place: owner root mode 0666 links 1 text new"},
        {own + "private", "replaced: owner nobody mode 0600 links 1 text new"},
        {own + "linked", "in place: owner nobody mode 0644 links 2 text new", own + "other-name"},
        {own + "link", "replaced: symlink to owner nobody mode 0644 links 1 text new"},
        {own + "new", "replaced: owner nobody mode 0644 links 1 text new"},
        // Refused as a plain open refuses it, and nothing changes.
        {own + "read-only-file", "in place: owner nobody mode 0444 links 1 text old"},
        {readOnly + "new", "missing"},
        // Writes that fail are reported; an in-place one puts the old text back.
        {own + "full", "in place: symlink to /dev/full"},
        {own + "linked-fails", "in place: owner nobody mode 0644 links 2 text old",
         own + "other-name-fails"},
        {own + "single-fails", "in place: owner nobody mode 0644 links 1 text old"},
    };
    std::vector<std::function<bool()>> saves;
    std::vector<ino_t> before;
    for (const auto& c : cases) {
        const bool fails = c.saved.ends_with("-fails");
        const FileWriteOps ops = fails ? halfWrite : StandardFileWriteOps();
        saves.push_back([&c, ops] { return WriteTextFileReplacing(c.saved.c_str(), "new", ops); });
        before.push_back(Inode(c.checked));
    }
    ::umask(022);
    const std::string results = SaveAsNobody(saves);
    ASSERT_EQ(results.size(), std::size(cases)) << results;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(results[i], c.after.ends_with("text new") ? '1' : '0') << "saving " << c.saved;
        std::string after = Describe(c.checked);
        if (Inode(c.checked) != 0) {
            after = (Inode(c.checked) == before[i] ? "in place: " : "replaced: ") + after;
        }
        EXPECT_EQ(after, c.after) << "after saving " << c.saved;
    }
    for (const auto& entry : fs::recursive_directory_iterator(base_)) {
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind";
    }
}

}  // namespace
