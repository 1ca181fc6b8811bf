# shellcheck shell=bash disable=SC2034
# Shared by tests/fuzz/run (the CI tier) and scripts/fuzz (the long runs):
# the packages, the build and the seeds. The targets and their budgets for
# the tier are in tests/fuzz/CMakeLists.txt.
# Sourced from the repository root.

FUZZ_BIN=build/fuzz/tests/fuzz

# shellcheck source=scripts/packages.sh
source scripts/packages.sh

fuzz_packages() {
  scripts/ensure-packages "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
}

# The whole tree with clang (so that it keeps building with clang under
# warnings as errors), the fuzz targets included.
fuzz_build() {
  cmake --preset fuzz >/dev/null || return 1
  cmake --build --preset fuzz -j "$(nproc)" 2>&1 |
    grep -vE '^\[|^-- |Built target|Scanning|Consolidate'
  return "${PIPESTATUS[0]}"
}

# Copies the seeds of target $1 into folder $2: its own, and the files of the
# tree it reads in real use.
fuzz_seeds() {
  local name=$1 dest=$2
  mkdir -p "$dest"
  cp tests/fuzz/seeds/"$name"/* "$dest"/
  case $name in
    calibration_text) cp examples/demo-config.txt "$dest"/ ;;
    script) cp examples/demo.kx9 "$dest"/ ;;
    picture) cp ui/res/step*.bmp "$dest"/ ;;
  esac
}

# "N executions, coverage N edges N features" from a libFuzzer log.
fuzz_figures() {
  local log=$1 execs edges features
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  edges=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+')
  features=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+')
  echo "${execs:-?} executions, coverage ${edges:-?} edges ${features:-?} features"
}
