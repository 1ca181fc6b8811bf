# Closed standard descriptors put on /dev/null, SIGPIPE ignored: fcntl(2),
# open(2), signal(2).
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/std_descriptors_posix.cpp)
