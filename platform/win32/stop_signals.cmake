# Requests to stop held during a write: SetConsoleCtrlHandler.
target_sources(kx9_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/stop_signals_win32.cpp)
