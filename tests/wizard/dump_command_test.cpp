// READ EEPROM: the stick's block saved as text, and the record the wizard
// works with left as it was in every outcome.
#include <fstream>
#include <sstream>
#include <tuple>

#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

namespace {

// Edge_Size, Edge_Reduc and Center_BM set.
const CalibrationRecord kLoaded{0, 0, 0x0400, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03};

const char* const kReadBox =
    "READ DATA\n00 01 02 03 04 05 06 07 \n08 09 0A 0B 0C 0D 0E 0F \n10 11 ";

}  // namespace

class DumpTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        WriteConfig("Edge_Size = 0x400; Edge_Reduc = 0x20; Center_BM = 3;");
        sim::Eeprom e{};
        for (int i = 0; i < 18; ++i) e[110 + i] = static_cast<std::uint8_t>(i);
        stick_->SetEeprom(e);
    }
    void Dump(const std::filesystem::path& path) {
        responder_.savePath = path.string();
        ui_->PostClick(IDC_READ_EEPROM);
        ui_->PumpAll();
    }
};

// Saved, cancelled, refused by the disk; then a calibration, which writes
// the loaded values, not the dumped ones.
TEST_F(DumpTest, SavesTheStickBlockAndRestoresTheRecord) {
    const struct {
        const char* what;
        std::filesystem::path path;
        Strings boxes;
    } cases[] = {
        {"saved", dir_ / "dump.txt", {Debug(kReadBox)}},
        {"cancelled", "", {Debug(kReadBox)}},
        {"unwritable",
         dir_ / "no-such-folder" / "dump.txt",
         {Debug(kReadBox), Error("Cannot save file to disk.")}},
    };
    OpenDialog();
    ASSERT_EQ(dlg_->m_Calib, kLoaded);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        desktop_.ClearRecords();
        Dump(c.path);
        EXPECT_EQ(Boxes(), c.boxes);
        const auto dialogs = desktop_.FileDialogs();
        ASSERT_EQ(dialogs.size(), 1u);
        const auto& d = dialogs[0].call;
        EXPECT_EQ(std::tie(d.open, d.defaultExt, d.fileName, d.flags, d.filter),
                  std::make_tuple(false, "*.txt", "Kx9_Joystick_FW.txt", 0x802u,
                                  "Text files (*.txt)|*.txt||"));
        EXPECT_EQ(dlg_->m_Calib, kLoaded);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Kx9_Joystick_FW.txt")) << "saved on cancel";
    std::ifstream in(dir_ / "dump.txt");  // text mode: the file has the platform's line ends
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Initial_Pos_X = 0x0100; // 110..111\n"), std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("Center_BM     = 0x11;   // 127\n"), std::string::npos) << text.str();

    Walk();
    EXPECT_EQ(EepromBlock(),
              (std::vector<std::uint8_t>{0x00, 0x40, 0xC0, 0x3F, 0x00, 0x04, 0x20, 0, 0, 0x81, 0x82,
                                         0x82, 0x80, 0, 0, 0, 0, 0x03}));
}

TEST_F(DumpTest, NoStickMeansNoFileDialog) {
    stick_->Unplug();
    OpenDialog();
    Dump(dir_ / "dump.txt");
    EXPECT_EQ(Boxes(), Strings{Error("Cannot read EEPROM!")});
    EXPECT_TRUE(desktop_.FileDialogs().empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dump.txt"));
    EXPECT_EQ(dlg_->m_Calib, kLoaded);
}
