// The committed pictures are exactly what the drawing sources make, so a
// change to the sources that was not followed by scripts/make-art fails here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "art_image.h"
#include "ui/res/art/icon_art.h"
#include "ui/res/art/image_file.h"
#include "ui/res/art/step_art.h"

namespace art_test {
namespace {

size_t FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

TEST(ArtSources, RegenerateTheCommittedFilesByteForByte) {
    for (int step = 1; step <= art::kStepCount; ++step) {
        const std::string name = "ui/res/step" + std::to_string(step) + ".bmp";
        const auto committed = ReadBytes(SourcePath(name));
        const auto made = art::EncodeBmp(art::DrawStep(step));
        EXPECT_EQ(made.size(), committed.size()) << name;
        EXPECT_TRUE(made == committed)
            << name << " differs first at byte " << FirstDifference(made, committed)
            << "; run scripts/make-art";
    }
    std::vector<art::Canvas> icons;
    for (int size : {64, 48, 32, 16}) icons.push_back(art::DrawIcon(size));
    const auto committed = ReadBytes(SourcePath("ui/res/Kx9JoystickCalibration.ico"));
    const auto made = art::EncodeIco(icons);
    EXPECT_TRUE(made == committed) << "icon differs first at byte "
                                   << FirstDifference(made, committed) << "; run scripts/make-art";
}

TEST(ArtSources, IconWriterRejectsSizesTheDirectoryCannotHold) {
    std::vector<art::Canvas> too_big;
    too_big.emplace_back(257, 257, art::Grey(255));
    EXPECT_THROW(art::EncodeIco(too_big), std::invalid_argument);
}

}  // namespace
}  // namespace art_test
