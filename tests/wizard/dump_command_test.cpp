// READ EEPROM: the stick's block saved as text, and the record the wizard
// works with left as it was in every outcome.
#include <fstream>
#include <sstream>

#include "tests/wizard/wizard_fixture.h"
#include "ui/resource.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);  // text mode: the file has the platform's line ends
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

CalibrationRecord Loaded() {
    CalibrationRecord r{};
    r.Edge_Size = 0x0400;
    r.Edge_Reduc = 0x20;
    r.Center_BM = 0x03;
    return r;
}

sim::Eeprom StickWithBlock() {
    sim::Eeprom e{};
    for (int i = 0; i < 18; ++i) e[110 + i] = static_cast<std::uint8_t>(i);
    return e;
}

}  // namespace

class DumpTest : public WizardTest {
  protected:
    void SetUp() override {
        WizardTest::SetUp();
        WriteConfig("Edge_Size = 0x400; Edge_Reduc = 0x20; Center_BM = 3;");
        stick_->SetEeprom(StickWithBlock());
    }
};

TEST_F(DumpTest, SavesTheStickBlockAndRestoresTheRecord) {
    OpenDialog();
    ASSERT_EQ(dlg_->m_Calib, Loaded());
    responder_.savePath = (dir_ / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();

    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].call.caption, "Debug");
    EXPECT_EQ(boxes[0].call.text,
              "READ DATA\n00 01 02 03 04 05 06 07 \n08 09 0A 0B 0C 0D 0E 0F \n10 11 ");
    const auto dialogs = desktop_.FileDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_FALSE(dialogs[0].call.open);
    EXPECT_EQ(dialogs[0].call.defaultExt, "*.txt");
    EXPECT_EQ(dialogs[0].call.fileName, "Kx9_Joystick_FW.txt");
    EXPECT_EQ(dialogs[0].call.flags, 0x802u);
    EXPECT_EQ(dialogs[0].call.filter, "Text files (*.txt)|*.txt||");

    const std::string text = ReadFile(dir_ / "dump.txt");
    EXPECT_NE(text.find("Initial_Pos_X = 0x0100; // 110..111\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Center_BM     = 0x11;   // 127\n"), std::string::npos) << text;
    EXPECT_EQ(dlg_->m_Calib, Loaded());
}

TEST_F(DumpTest, CancelWritesNothing) {
    OpenDialog();
    responder_.savePath.clear();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();
    EXPECT_EQ(desktop_.FileDialogs().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Kx9_Joystick_FW.txt"));
    EXPECT_EQ(Boxes().size(), 1u) << "only the read's own box";
    EXPECT_EQ(dlg_->m_Calib, Loaded());
}

TEST_F(DumpTest, UnwritablePathIsReported) {
    OpenDialog();
    responder_.savePath = (dir_ / "no-such-folder" / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].call.text, "Cannot save file to disk.");
    EXPECT_EQ(boxes[1].call.caption, kTitle);
    EXPECT_EQ(boxes[1].call.type, static_cast<UINT>(MB_ICONHAND));
    EXPECT_EQ(dlg_->m_Calib, Loaded());
}

TEST_F(DumpTest, NoStickMeansNoFileDialog) {
    stick_->Unplug();
    OpenDialog();
    responder_.savePath = (dir_ / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].call.text, "Cannot read EEPROM!");
    EXPECT_EQ(boxes[0].call.caption, kTitle);
    EXPECT_EQ(boxes[0].call.type, static_cast<UINT>(MB_ICONHAND));
    EXPECT_TRUE(desktop_.FileDialogs().empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dump.txt"));
    EXPECT_EQ(dlg_->m_Calib, Loaded());
}

TEST_F(DumpTest, CalibrationAfterADumpWritesTheLoadedValues) {
    OpenDialog();
    responder_.savePath = (dir_ / "dump.txt").string();
    ui_->PostClick(IDC_READ_EEPROM);
    ui_->PumpAll();
    WalkWorkedExample();
    const std::vector<std::uint8_t> block = EepromBlock();
    EXPECT_EQ(block, (std::vector<std::uint8_t>{0x00, 0x40, 0xC0, 0x3F, 0x00, 0x04, 0x20, 0, 0,
                                                0x81, 0x82, 0x82, 0x80, 0, 0, 0, 0, 0x03}));
}
