# The console of kx9calib.exe: virtual-terminal output, key events with their
# releases, and giving the console back on every way out. The key
# translation has no OS headers and is tested natively as well.
add_library(kx9_terminal STATIC ${CMAKE_CURRENT_LIST_DIR}/terminal_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_keys.cpp)
