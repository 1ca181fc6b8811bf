# A file appended to by several processes: LockFileEx, writes at the end,
# FlushFileBuffers; GetComputerNameExA.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/shared_append_win32.cpp)
