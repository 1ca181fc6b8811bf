# Writes a C++ file holding the step pictures and the icon as byte arrays, with
# the lookup functions of platform/dialog_template.h, for builds whose windows
# are virtual. Runs at build time with CMake alone (no host tool):
#   cmake -DOUTPUT=<file.cpp> -DRESOURCES=<kind:id:path|...> -P embed_resources.cmake
# kind is "bitmap" or "icon". A file that does not exist (yet) gives an empty
# resource, so the build never depends on the artwork being finished.
cmake_minimum_required(VERSION 3.25)

# The list arrives with "|" between entries: a ";" would split the argument.
string(REPLACE "|" ";" RESOURCES "${RESOURCES}")

set(_arrays "")
set(_bitmap_cases "")
set(_icon_cases "")
foreach(entry IN LISTS RESOURCES)
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 kind)
  list(GET parts 1 id)
  list(SUBLIST parts 2 -1 path_parts)
  string(JOIN ":" path ${path_parts})
  if(NOT EXISTS "${path}")
    continue()
  endif()
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  if(hex_length EQUAL 0)
    continue()
  endif()
  # 32 bytes to a line, then each byte as 0xNN.
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
         "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(name "k${kind}${id}")
  string(APPEND _arrays "const std::uint8_t ${name}[] = {\n${bytes}\n};\n")
  set(case "        case ${id}:\n            return {${name}, sizeof ${name}};\n")
  if(kind STREQUAL "bitmap")
    string(APPEND _bitmap_cases "${case}")
  else()
    string(APPEND _icon_cases "${case}")
  endif()
endforeach()

set(_switch_default "        default:\n            return {};\n")
file(WRITE "${OUTPUT}.tmp" "// Generated at build time from the files in ui/res; do not edit.
#include <cstdint>

#include \"platform/dialog_template.h\"

namespace {
${_arrays}}  // namespace

namespace plat {

ResourceBytes FindBitmapResource(unsigned id) {
    switch (id) {
${_bitmap_cases}${_switch_default}    }
}

ResourceBytes FindIconResource(unsigned id) {
    switch (id) {
${_icon_cases}${_switch_default}    }
}

}  // namespace plat
")
# Only a changed file makes its dependents rebuild.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
