# The controlling terminal of kx9calib: raw mode, size, input with a time
# limit, and giving the terminal back on every way out.
add_library(kx9_terminal STATIC ${CMAKE_CURRENT_LIST_DIR}/terminal_posix.cpp)
