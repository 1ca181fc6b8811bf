// Regenerates the dialog's step pictures and icon into the folder given on
// the command line. The output depends only on this source, byte for byte.
#include <cstdio>
#include <string>
#include <vector>

#include "icon_art.h"
#include "image_file.h"
#include "step_art.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    int failures = 0;
    for (int step = 1; step <= art::kStepCount; ++step) {
        std::string path = folder + "/step" + std::to_string(step) + ".bmp";
        if (!art::WriteBytes(path, art::EncodeBmp(art::DrawStep(step)))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    std::vector<art::Canvas> icons;
    for (int size : {64, 48, 32, 16}) icons.push_back(art::DrawIcon(size));
    std::string path = folder + "/Kx9JoystickCalibration.ico";
    if (!art::WriteBytes(path, art::EncodeIco(icons))) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
