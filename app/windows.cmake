# The Windows program: one self-contained GUI executable (static C++ runtime
# through the toolchain file) whose only imports are DLLs Windows ships.
set(_res ${CMAKE_SOURCE_DIR}/ui/res)
# The version resource takes the project's version through this header.
configure_file(${CMAKE_SOURCE_DIR}/cmake/version_rc.h.in
  ${CMAKE_BINARY_DIR}/generated/version_rc.h @ONLY)
# The step pictures go in as 8-bit palette bitmaps with the very pixels of
# the shared 24-bit files (which the virtual window system embeds as they
# are): a third of the bytes, for a program of at most 1.5 MB.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_indexed ${CMAKE_BINARY_DIR}/generated/res)
set(KX9_INDEXED_BITMAPS "")
foreach(n 1 2 3 4 5)
  add_custom_command(OUTPUT ${_indexed}/step${n}.bmp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_indexed}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/indexed_bitmap.py
            ${_res}/step${n}.bmp ${_indexed}/step${n}.bmp
    DEPENDS ${_res}/step${n}.bmp ${CMAKE_SOURCE_DIR}/cmake/indexed_bitmap.py
    VERBATIM)
  list(APPEND KX9_INDEXED_BITMAPS ${_indexed}/step${n}.bmp)
endforeach()
add_custom_target(kx9_indexed_bitmaps DEPENDS ${KX9_INDEXED_BITMAPS})
# Each target that compiles the resource script depends on them so.
set(KX9_RC_DEPENDS ${KX9_INDEXED_BITMAPS} ${_res}/Kx9JoystickCalibration.ico
  ${_res}/Kx9JoystickCalibration.manifest ${CMAKE_SOURCE_DIR}/ui/resource.h
  ${CMAKE_BINARY_DIR}/generated/version_rc.h)

add_executable(Kx9JoystickCalibration WIN32
  ${CMAKE_CURRENT_LIST_DIR}/the_app.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win_main.cpp
  ${_res}/Kx9JoystickCalibration.rc)
# The resource compiler does not report the files a script pulls in.
set_source_files_properties(${_res}/Kx9JoystickCalibration.rc PROPERTIES OBJECT_DEPENDS
  "${KX9_RC_DEPENDS}")
add_dependencies(Kx9JoystickCalibration kx9_indexed_bitmaps)
target_link_libraries(Kx9JoystickCalibration PRIVATE
  kx9_app kx9_dialog kx9_dialog_win32 kx9_hid_win32 kx9_calib kx9_platform)
# The shipped program carries no symbol tables.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  target_link_options(Kx9JoystickCalibration PRIVATE -s)
endif()
install(TARGETS Kx9JoystickCalibration RUNTIME DESTINATION . COMPONENT program)
