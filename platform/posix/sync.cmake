# Events, waits, worker threads and the clock, rebuilt on the standard library.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sync_posix.cpp)
