// The committed pictures are exactly what the drawing sources make, so a
// change to the sources that was not followed by scripts/make-art fails here.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/art/art_bytes.h"
#include "ui/res/art/icon_art.h"
#include "ui/res/art/image_file.h"
#include "ui/res/art/step_art.h"

TEST(ArtSources, RegenerateTheCommittedFilesByteForByte) {
    std::vector<art::Canvas> icons;
    for (int size : {64, 48, 32, 16}) icons.push_back(art::DrawIcon(size));
    for (int step = 0; step <= art::kStepCount; ++step) {  // 0: the icon
        const std::string file = step == 0 ? "ui/res/Kx9JoystickCalibration.ico"
                                           : "ui/res/step" + std::to_string(step) + ".bmp";
        const auto made = step == 0 ? art::EncodeIco(icons) : art::EncodeBmp(art::DrawStep(step));
        const auto committed = ReadArtBytes(file);
        const auto diff =
            std::mismatch(made.begin(), made.end(), committed.begin(), committed.end());
        EXPECT_TRUE(made == committed)
            << file << " and its " << made.size() << " bytes made differ first at byte "
            << diff.first - made.begin() << "; run scripts/make-art";
    }
}
