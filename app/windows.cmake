# The Windows program: one self-contained GUI executable (static C++ runtime
# through the toolchain file) whose only imports are DLLs Windows ships.
set(_res ${CMAKE_SOURCE_DIR}/ui/res)
add_executable(Kx9JoystickCalibration WIN32
  ${CMAKE_CURRENT_LIST_DIR}/the_app.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win_main.cpp
  ${_res}/Kx9JoystickCalibration.rc)
# The resource compiler does not report the files a script pulls in.
set_source_files_properties(${_res}/Kx9JoystickCalibration.rc PROPERTIES OBJECT_DEPENDS
  "${_res}/step1.bmp;${_res}/step2.bmp;${_res}/step3.bmp;${_res}/step4.bmp;${_res}/step5.bmp;${_res}/Kx9JoystickCalibration.ico;${_res}/Kx9JoystickCalibration.manifest;${CMAKE_SOURCE_DIR}/ui/resource.h")
target_link_libraries(Kx9JoystickCalibration PRIVATE
  kx9_app kx9_dialog kx9_dialog_win32 kx9_hid_win32 kx9_calib kx9_platform)
