# A long recording with sound beside parec recording the same input into a file.
add_executable(sound_bench sound_bench.cpp ${CMAKE_SOURCE_DIR}/tests/support/PulseTestServer.cpp)
set_target_properties(sound_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/bin)
target_link_libraries(sound_bench PRIVATE zov_sound_pulse zov_core Threads::Threads)
