# kx9_cli: what kx9calib's main puts together (its command line, the
# virtual stick from its options, the dialog's two ways to run), kept apart
# from main so that tests can use it. kx9calib: the dialog in a terminal, on hidraw or the virtual
# stick, and the service commands.
add_library(kx9_cli STATIC options.cpp virtual_stick_setup.cpp dialog_run.cpp)
target_link_libraries(kx9_cli PUBLIC kx9_service kx9_script kx9_term kx9_app kx9_sim kx9_hid_hidraw)
add_executable(kx9calib kx9calib_main.cpp the_app.cpp)
target_link_libraries(kx9calib PRIVATE kx9_cli)
# Symbols resolved at start and the relocations made read-only after, as
# Debian builds its programs.
target_link_options(kx9calib PRIVATE -Wl,-z,relro,-z,now)
# The package strips it (CPACK_STRIP_FILES); the build tree keeps the symbols.
install(TARGETS kx9calib RUNTIME DESTINATION bin)
