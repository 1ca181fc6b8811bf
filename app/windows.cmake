# The Windows program: one self-contained GUI executable (static C++ runtime
# through the toolchain file) whose only imports are DLLs Windows ships.
set(_res ${CMAKE_SOURCE_DIR}/ui/res)
# The version resource takes the project's version through this header.
configure_file(${CMAKE_SOURCE_DIR}/cmake/version_rc.h.in
  ${CMAKE_BINARY_DIR}/generated/version_rc.h @ONLY)
add_executable(Kx9JoystickCalibration WIN32
  ${CMAKE_CURRENT_LIST_DIR}/the_app.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win_main.cpp
  ${_res}/Kx9JoystickCalibration.rc)
# The resource compiler does not report the files a script pulls in.
set_source_files_properties(${_res}/Kx9JoystickCalibration.rc PROPERTIES OBJECT_DEPENDS
  "${KX9_RESOURCE_FILES};${_res}/Kx9JoystickCalibration.manifest;${CMAKE_SOURCE_DIR}/ui/resource.h;${CMAKE_BINARY_DIR}/generated/version_rc.h")
target_link_libraries(Kx9JoystickCalibration PRIVATE
  kx9_app kx9_dialog kx9_dialog_win32 kx9_hid_win32 kx9_calib kx9_platform)
# The shipped program carries no symbol tables, and the linker drops the code
# and data nothing refers to (each function and object in a section of its
# own, so that the unused parts of the static C++ runtime go too).
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  target_link_options(Kx9JoystickCalibration PRIVATE -s -Wl,--gc-sections)
endif()
install(TARGETS Kx9JoystickCalibration RUNTIME DESTINATION . COMPONENT program)
