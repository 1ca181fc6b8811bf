# Events, waits, worker threads and the clock: the Win32 calls themselves
# (timeGetTime lives in winmm).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sync_win32.cpp)
target_link_libraries(kx9_platform PUBLIC winmm)
