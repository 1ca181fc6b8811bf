# One user per stick: flock(2) on the stick's node.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/stick_lock_posix.cpp)
