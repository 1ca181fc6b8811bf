# kx9_cli: what kx9calib's main puts together (its command line, the sticks
# wired from its options, the virtual stick from them, the dialog's two ways
# to run), kept apart from main so that tests can use it. kx9calib: the dialog in a terminal or a
# console, on the machine's sticks or the virtual stick, and the service
# commands; the same sources on Linux and Windows.
add_library(kx9_cli STATIC options.cpp stick_wiring.cpp virtual_stick_setup.cpp eeprom_file.cpp
  dialog_run.cpp)
target_link_libraries(kx9_cli PUBLIC kx9_service kx9_script kx9_term kx9_app kx9_sim kx9_hid_system)
if(WIN32)
  # A console program, self-contained as the dialog program is (static C++
  # runtime through the toolchain file, DLLs that Windows ships only), with
  # the one version in its version resource.
  set_source_files_properties(kx9calib.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/kx9calib.manifest;${CMAKE_SOURCE_DIR}/ui/res/version_info.rc;${CMAKE_BINARY_DIR}/generated/version_rc.h")
  add_executable(kx9calib kx9calib_main.cpp the_app.cpp kx9calib.rc)
  target_link_libraries(kx9calib PRIVATE kx9_cli)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_link_options(kx9calib PRIVATE -s -Wl,--gc-sections)
  endif()
  install(TARGETS kx9calib RUNTIME DESTINATION . COMPONENT program)
else()
  add_executable(kx9calib kx9calib_main.cpp the_app.cpp)
  target_link_libraries(kx9calib PRIVATE kx9_cli)
  # Symbols resolved at start and the relocations made read-only after, as
  # Debian builds its programs.
  target_link_options(kx9calib PRIVATE -Wl,-z,relro,-z,now)
  # The package strips it (CPACK_STRIP_FILES); the build tree keeps the symbols.
  install(TARGETS kx9calib RUNTIME DESTINATION bin)
endif()
