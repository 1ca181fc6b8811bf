# A file appended to by several processes: flock(2), O_APPEND writes,
# fsync(2); gethostname(2).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/shared_append_posix.cpp)
