// Any configuration text: the record it gives, saved and read back into a
// record of other values, must come back field for field.
#include <cstddef>
#include <cstdint>

#include "calib/calibration_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CalibrationRecord loaded;
    ClearCalibrationRecord(loaded);
    ApplyCalibrationText(reinterpret_cast<const char*>(data), size, loaded);

    const std::string saved = FormatCalibrationFile(loaded);
    CalibrationRecord reloaded;
    CalibrationBlock ones;
    ones.fill(0xFF);
    UnpackCalibrationBlock(ones, reloaded);
    ApplyCalibrationText(saved.data(), saved.size(), reloaded);
    FUZZ_CHECK(reloaded == loaded);
    return 0;
}
