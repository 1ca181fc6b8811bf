# shellcheck shell=bash disable=SC2034
# The Debian packages the work needs, each named once, by what needs it.
# Sourced from the repository root by scripts/test (all of them),
# scripts/demo (the build), the fuzz tier and the package tier.

# The tree built natively: GoogleTest from Debian's source package, and
# nlohmann-json, with which kx9calib list --json writes its JSON.
BUILD_PACKAGES=(cmake make g++ googletest libgtest-dev nlohmann-json3-dev)
# clang with its libFuzzer runtime builds the fuzz tier.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The package tier builds and checks the .deb (and runs its README sessions
# in tmux) and unpacks the zip.
PACKAGE_PACKAGES=(dpkg-dev lintian man-db groff-base binutils unzip tmux)
# The other tiers: the format check, the benchmarks, the Windows build and
# Wine with Wine's own fonts, whose Tahoma the Wine prefixes pin as the
# dialog font (cmake/wine-fonts.reg), so the dialog has the same layout
# whatever else the machine has installed; the X server, window manager and
# input driver of the end-to-end tier, and Pillow, which reads its
# screenshots; Chromium renders the report's page.
OTHER_TEST_PACKAGES=(clang-format libbenchmark-dev g++-mingw-w64-x86-64-posix wine64 fonts-wine
  xvfb xauth xdotool openbox x11-utils python3 python3-pil chromium)

ALL_PACKAGES=("${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
  "${OTHER_TEST_PACKAGES[@]}")
