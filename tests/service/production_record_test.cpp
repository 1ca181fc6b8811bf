// The production record: its rows as written and read back, the file shared
// by processes that append at once or die in the middle, and the rows the
// kx9calib program leaves for good and failed sticks on the virtual stick.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "service/production_record.h"
#include "service/record_file.h"
#include "service/sha256.h"
#include "tests/common/test_folder.h"

namespace {

namespace fs = std::filesystem;
using service::RecordReader;
using service::RecordRow;

const std::string kHeader = std::string(service::kRecordHeader) + "\r\n";

RecordRow SampleRow(const std::string& serial = "SN1") {
    RecordRow row;
    row.time = "2026-12-08T04:30:12+01:00";
    row.station = "line-3";
    row.version = "1.10";
    row.source = "dialog";
    row.device = "/dev/hidraw3";
    row.serial = serial;
    row.vidPid = 0x04020F3D;
    row.result = "verified";
    row.captured = true;
    row.axes = {32768, 32640, 128, 65280, 65535, 0};
    row.fields = {16384, 16320, 1024, 32, 3, 7, 129, 130, 130, 128, 512, 16, 2, 3};
    row.configSha256 = std::string(64, 'a');
    return row;
}

std::FILE* TextFile(const std::string& text) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

struct ReadBack {
    std::vector<RecordRow> rows;
    std::vector<std::size_t> malformed;  // their line numbers
    RecordReader::Next end = RecordReader::Next::kEnd;
};

ReadBack ReadAll(std::FILE* file) {
    ReadBack back;
    RecordReader reader(file);
    RecordRow row;
    std::string why;
    for (;;) {
        const RecordReader::Next next = reader.Read(&row, &why);
        if (next == RecordReader::Next::kRow) {
            back.rows.push_back(row);
        } else if (next == RecordReader::Next::kMalformed) {
            back.malformed.push_back(reader.Line());
        } else {
            back.end = next;
            return back;
        }
    }
}

class RecordFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = TestFolder("kx9-record-");
        fs::create_directories(folder);
        path = (folder / "record.csv").string();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder);
    }
    std::string Contents() {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    fs::path folder;
    std::string path;
};

TEST(Sha256, Fips180Vectors) {
    EXPECT_EQ(service::Sha256Hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(service::Sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(service::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Added in uneven pieces, across block boundaries.
    service::Sha256 hash;
    const std::string a(1001, 'a');
    for (int i = 0; i < 1000; ++i) hash.Add(a.data(), i % 2 == 0 ? 999 : 1001);
    EXPECT_EQ(hash.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(RecordRow, LineAsWrittenAndReadBack) {
    EXPECT_EQ(service::FormatRecordRow(SampleRow()),
              "2026-12-08T04:30:12+01:00,line-3,1.10,dialog,/dev/hidraw3,SN1,0f3d:0402,verified,"
              "32768,32640,128,65280,65535,0,16384,16320,1024,32,3,7,129,130,130,128,512,16,2,3,"
              "00 40 C0 3F 00 04 20 03 07 81 82 82 80 00 02 10 02 03," +
                  std::string(64, 'a') + "\r\n");
    RecordRow restore = SampleRow();
    restore.source = "restore";
    restore.captured = false;
    restore.axes = {};
    restore.configSha256.clear();
    EXPECT_NE(service::FormatRecordRow(restore).find(",verified,,,,,,,16384,"), std::string::npos);

    // Outside text: quoted where CSV needs it, kept from being a formula.
    const struct {
        std::string serial, written;
    } cases[] = {
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=1+1", "'=1+1"},
        {"+49", "'+49"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"'quoted", "''quoted"},
        {"=a,b", "\"'=a,b\""},
        {"", ""},
    };
    std::string file = kHeader;
    for (const auto& c : cases) {
        const std::string line = service::FormatRecordRow(SampleRow(c.serial));
        EXPECT_NE(line.find(",/dev/hidraw3," + c.written + ",0f3d:0402,"), std::string::npos)
            << c.serial << " -> " << line;
        file += line;
    }
    file += service::FormatRecordRow(restore);
    const ReadBack back = ReadAll(TextFile(file));
    ASSERT_EQ(back.rows.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(back.rows[i], SampleRow(cases[i].serial));
    }
    EXPECT_EQ(back.rows.back(), restore);
    EXPECT_TRUE(back.malformed.empty());
}

TEST(RecordReader, MalformedRowsAreLeftOutByLine) {
    const std::string good = service::FormatRecordRow(SampleRow());
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        line.replace(line.find(from), from.size(), to);
        return line;
    };
    const std::string bad[] = {
        "only,three,fields\r\n",
        with("+01:00", "+1:00"),                           // time
        with("dialog", "wizard"),                          // source
        with("0f3d:0402", "0F3D:0402"),                    // vid_pid
        with("verified", "ok"),                            // result
        with("32768,32640", "65536,32640"),                // an axis out of range
        with(",32,3,7,", ",256,3,7,"),                     // an 8-bit field out of range
        with("00 40 C0", "00 40 C1"),                      // block not what the fields pack to
        with(std::string(64, 'a'), std::string(63, 'a')),  // digest
        with("\r\n", "\n"),                                // no CR
        with("line-3", "li\"ne"),                          // a quote inside a field
        with("line-3", std::string(5000, 'x')),            // a field no row of ours has
    };
    std::string file = kHeader + good;
    for (const std::string& line : bad) file += line + good;
    // A row cut short at the end: a station killed in its write.
    file += good.substr(0, 40);
    const ReadBack back = ReadAll(TextFile(file));
    EXPECT_EQ(back.rows.size(), std::size(bad) + 1);
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i <= std::size(bad); ++i) lines.push_back(3 + 2 * i);
    EXPECT_EQ(back.malformed, lines);
    EXPECT_EQ(back.end, RecordReader::Next::kEnd);

    for (const std::string& foreign :
         {std::string("time,station\r\n"), "\xEF\xBB\xBF" + kHeader, kHeader.substr(0, 40),
          std::string(service::kRecordHeader) + "\n" + good}) {
        EXPECT_EQ(ReadAll(TextFile(foreign)).end, RecordReader::Next::kNotARecord) << foreign;
    }
    EXPECT_EQ(ReadAll(nullptr).end, RecordReader::Next::kReadFailed);
}

TEST_F(RecordFileTest, HeaderOnceForeignFilesRefusedCutRowsKeptApart) {
    EXPECT_EQ(service::CheckRecordFile(path), "") << "none yet";
    EXPECT_FALSE(fs::exists(path)) << "made only by the first row";
    const std::string line = service::FormatRecordRow(SampleRow());
    EXPECT_EQ(service::AppendRecordRow(path, SampleRow()), "");
    EXPECT_EQ(service::AppendRecordRow(path, SampleRow()), "");
    EXPECT_EQ(Contents(), kHeader + line + line);

    // A row cut short stays on a line of its own.
    Put(kHeader + line.substr(0, 50));
    EXPECT_EQ(service::AppendRecordRow(path, SampleRow()), "");
    EXPECT_EQ(Contents(), kHeader + line.substr(0, 50) + "\r\n" + line);

    for (const std::string& foreign : {std::string("a,b\r\n1,2\r\n"), kHeader.substr(0, 20)}) {
        Put(foreign);
        EXPECT_NE(service::CheckRecordFile(path).find("is not a production record"),
                  std::string::npos);
        EXPECT_NE(service::AppendRecordRow(path, SampleRow()).find("nothing was added"),
                  std::string::npos);
        EXPECT_EQ(Contents(), foreign);
    }
    // The system's own words when the file cannot be had.
    const std::string missing = (folder / "no-folder" / "r.csv").string();
    EXPECT_NE(service::AppendRecordRow(missing, SampleRow()).find(": No such file or directory"),
              std::string::npos);
    EXPECT_NE(service::AppendRecordRow(folder.string(), SampleRow()), "");
}

// Children that append and are killed, or append at the same time: every
// row that returned is whole and in the file.
TEST_F(RecordFileTest, KilledAndConcurrentWritersLeaveWholeRows) {
    ASSERT_EQ(service::AppendRecordRow(path, SampleRow("first")), "");
    const pid_t killed = ::fork();
    if (killed == 0) {
        if (service::AppendRecordRow(path, SampleRow("second")).empty())
            ::kill(::getpid(), SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(killed, &status, 0), killed);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the append failed";

    constexpr int kRows = 1000;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        if (writers[w] == 0) {
            for (int i = 0; i < kRows; ++i) {
                RecordRow row = SampleRow("w" + std::to_string(w) + "-" + std::to_string(i));
                row.station = std::string(static_cast<std::size_t>(i % 300), 'x');
                if (!service::AppendRecordRow(path, row).empty()) ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (const pid_t writer : writers) {
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const ReadBack back = ReadAll(std::fopen(path.c_str(), "rb"));
    EXPECT_TRUE(back.malformed.empty());
    ASSERT_EQ(back.rows.size(), 2u + 2 * kRows);
    EXPECT_EQ(back.rows[0].serial, "first");
    EXPECT_EQ(back.rows[1].serial, "second");
    int next[2] = {0, 0};  // each writer's rows in its own order
    for (std::size_t i = 2; i < back.rows.size(); ++i) {
        const std::string& serial = back.rows[i].serial;
        const int w = serial[1] - '0';
        EXPECT_EQ(serial, "w" + std::to_string(w) + "-" + std::to_string(next[w]));
        ++next[w];
    }
}

// The program itself on the virtual stick: a good stick and one that keeps
// no write, through the dialog and restore.
TEST_F(RecordFileTest, Kx9calibRowsForGoodAndFailedSticks) {
    std::ofstream(folder / "kx9JoystickCalibration.txt") << "Edge_Size = 1024; Center_BM = 3;\n";
    std::ofstream(folder / "walk.kx9")
        << "stick 0x8000 0x7F80\nkey space\nstick 0x8000 0x0080\nkey space\n"
           "stick 0xFF00 0x8000\nkey space\nstick 0x8000 0xFFFF\nkey space\n"
           "stick 0x0000 0x8000\nkey space\n";
    std::ofstream(folder / "block.txt")
        << "Initial_Pos_X = 0x4000; Initial_Pos_Y = 0x3FC0; Edge_Size = 0x400; Edge_Reduc = 0x20;"
           " Edge_Shift = 3; Edge_BM = 7; MultInit_XN = 0x81; MultInit_XP = 0x82;"
           " MultInit_YN = 0x82; MultInit_YP = 0x80; Center_Area = 0x200; Center_Reduc = 0x10;"
           " Center_Shift = 2; Center_BM = 3;\n";
    const auto run = [&](const std::string& args) {
        const std::string command = "cd '" + folder.string() +
                                    "' && timeout 60 '" KX9CALIB "' --simulate " + args +
                                    " > out.txt 2> err.txt < /dev/null";
        return WEXITSTATUS(std::system(command.c_str()));
    };
    EXPECT_EQ(run("--record record.csv --script walk.kx9"), 0);
    EXPECT_EQ(run("--sim-ignore-writes --record record.csv --script walk.kx9"), 0);
    EXPECT_EQ(run("--record record.csv restore --no-backup block.txt"), 0);
    EXPECT_EQ(run("--sim-ignore-writes --record record.csv restore --no-backup block.txt"), 1);

    const ReadBack back = ReadAll(std::fopen(path.c_str(), "rb"));
    ASSERT_EQ(back.rows.size(), 4u);
    EXPECT_TRUE(back.malformed.empty());
    const char* results[] = {"verified", "read-back-differs", "verified", "read-back-differs"};
    for (std::size_t i = 0; i < 4; ++i) {
        const RecordRow& r = back.rows[i];
        EXPECT_EQ(r.result, results[i]);
        EXPECT_EQ(r.source, i < 2 ? "dialog" : "restore");
        EXPECT_EQ(r.serial, "KX9SIM0001");
        EXPECT_EQ(r.vidPid, 0x04020F3Du);
        EXPECT_EQ(r.device, "virtual-stick-1");
        EXPECT_EQ(r.fields.MultInit_XN, 0x81);
        EXPECT_EQ(r.fields.Edge_Size, 1024);
        EXPECT_EQ(r.station, std::string(r.station)) << "a host name";
    }
    EXPECT_EQ(back.rows[0].axes,
              (std::array<std::uint16_t, 6>{32768, 32640, 128, 65280, 65535, 0}));
    EXPECT_FALSE(back.rows[2].captured);
    std::ifstream config(folder / "kx9JoystickCalibration.txt", std::ios::binary);
    EXPECT_EQ(back.rows[0].configSha256,
              service::Sha256Hex({std::istreambuf_iterator<char>(config), {}}));
    std::ifstream block(folder / "block.txt", std::ios::binary);
    EXPECT_EQ(back.rows[2].configSha256,
              service::Sha256Hex({std::istreambuf_iterator<char>(block), {}}));

    // A file that is no record is refused before any stick is written.
    std::ofstream(folder / "other.csv") << "a,b\r\n";
    EXPECT_EQ(run("--sim-eeprom stick.bin --record other.csv restore --no-backup block.txt"), 1);
    std::ifstream image(folder / "stick.bin", std::ios::binary);
    const std::string eeprom{std::istreambuf_iterator<char>(image), {}};
    EXPECT_EQ(eeprom.substr(110, 18), std::string(18, '\xFF')) << "nothing written";
    EXPECT_EQ(run("--record other.csv --script walk.kx9"), 1);
}

}  // namespace
