# kx9calib: the dialog in a terminal, on hidraw or the virtual stick.
add_executable(kx9calib kx9calib_main.cpp the_app.cpp)
target_link_libraries(kx9calib PRIVATE kx9_term kx9_app kx9_sim kx9_hid_hidraw)
# Symbols resolved at start and the relocations made read-only after, as
# Debian builds its programs.
target_link_options(kx9calib PRIVATE -Wl,-z,relro,-z,now)
# The package strips it (CPACK_STRIP_FILES); the build tree keeps the symbols.
install(TARGETS kx9calib RUNTIME DESTINATION bin)
