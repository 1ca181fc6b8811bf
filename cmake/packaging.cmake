# What gets installed and how it is packaged, from the one version of the
# project() call:
#   cmake --build --preset release --target package   -> kx9calib_<v>-1_amd64.deb
#   cmake --build --preset windows --target package   -> Kx9JoystickCalibration-<v>-win64.zip
# The programs' own install rules are in app/kx9calib.cmake and app/windows.cmake.
set(_pkg ${CMAKE_SOURCE_DIR}/packaging)
set(_pkg_out ${CMAKE_BINARY_DIR}/packaging)
# What a newcomer tries first, in both packages: none of it is named as the
# configuration the dialog reads, so none is taken for a line's own.
set(_examples ${CMAKE_SOURCE_DIR}/examples/demo-config.txt ${CMAKE_SOURCE_DIR}/examples/demo.kx9
  ${CMAKE_SOURCE_DIR}/examples/calibrated.txt ${CMAKE_SOURCE_DIR}/examples/old.txt)
# Dates of the release texts; SOURCE_DATE_EPOCH, when set, makes them repeatable.
string(TIMESTAMP KX9_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KX9_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(KX9_MAINTAINER "Kx9 Calibration Tool developers <kx9calib@example.org>")
set(KX9_DEB_RELEASE 1)

set(CPACK_PACKAGE_VENDOR "Kx9 Calibration Tool developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The zip: the program and a short text on how to use it, with Windows'
  # line ends so that any editor shows it as written.
  configure_file(${_pkg}/windows-usage.txt.in ${_pkg_out}/README.txt @ONLY NEWLINE_STYLE WIN32)
  install(FILES ${_pkg_out}/README.txt DESTINATION . COMPONENT program)
  install(FILES ${_examples} DESTINATION examples COMPONENT program)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Kx9JoystickCalibration)
  set(CPACK_PACKAGE_FILE_NAME "Kx9JoystickCalibration-${PROJECT_VERSION}-win64")
else()
  # Debian wants manual pages and changelogs compressed, without a time stamp
  # in the gzip header (-n), so that the same sources give the same package.
  configure_file(${_pkg}/kx9calib.1.in ${_pkg_out}/kx9calib.1 @ONLY)
  configure_file(${_pkg}/changelog.Debian.in ${_pkg_out}/changelog.Debian @ONLY)
  foreach(text kx9calib.1 changelog.Debian)
    execute_process(COMMAND gzip -9nf ${_pkg_out}/${text} -c
      OUTPUT_FILE ${_pkg_out}/${text}.gz RESULT_VARIABLE _gzip_failed)
    if(_gzip_failed)
      message(FATAL_ERROR "gzip could not compress ${_pkg_out}/${text}")
    endif()
  endforeach()
  install(FILES ${_pkg_out}/kx9calib.1.gz DESTINATION share/man/man1)
  install(FILES ${_pkg}/70-kx9calib.rules DESTINATION lib/udev/rules.d)
  install(FILES ${_pkg}/kx9calib.bash-completion DESTINATION share/bash-completion/completions
    RENAME kx9calib)
  install(FILES README.md ${_pkg}/copyright ${_pkg_out}/changelog.Debian.gz
    DESTINATION share/doc/kx9calib)
  install(FILES ${_examples} DESTINATION share/doc/kx9calib/examples)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kx9calib)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${KX9_DEB_RELEASE})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KX9_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies as dpkg-shlibdeps finds them in the program (needs dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calibrate the axes of a Kx9 flight stick")
  # CPack puts the summary on the Description line and indents this text
  # below it, an empty line becoming the paragraph mark.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kx9calib walks through the calibration of a Kx9 USB flight stick's X and Y
axes in a full-screen terminal dialog and stores the result in the stick's
EEPROM. Its commands back up, restore and verify a stick's calibration
block, and list the sticks attached, for scripts and the service bench.

A built-in virtual stick lets everything run without hardware. The package
installs a udev rule that gives the user logged in at the machine access to
the stick.")
endif()

include(CPack)
