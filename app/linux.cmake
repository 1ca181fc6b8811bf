# kx9calib: the dialog in a terminal, on hidraw or the virtual stick.
add_executable(kx9calib kx9calib_main.cpp the_app.cpp)
target_link_libraries(kx9calib PRIVATE kx9_term kx9_app kx9_sim kx9_hid_hidraw)
