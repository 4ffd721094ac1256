# Capture benchmark (bench/capture_bench.cpp): the recording steps and the capture engine on a
# private Xvfb beside ffmpeg's x11grab; see the file's header for how to run it.
if(TARGET zov_recorder AND TARGET zov_platform_x11)
  find_package(X11 REQUIRED)
  add_executable(capture_bench ${CMAKE_CURRENT_LIST_DIR}/capture_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/recorder/XTestEnv.cpp)
  set_target_properties(capture_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/bin)
  target_link_libraries(capture_bench PRIVATE zov_recorder zov_platform_x11 Threads::Threads)
  target_compile_definitions(capture_bench PRIVATE ZOV_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared"
    ZOV_BIN_DIR="${ZOV_BIN_DIR}" ZOV_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bench/bin")
  # The scene: the tests' window program in play mode, built beside the bench.
  add_executable(capture_bench_scene ${CMAKE_SOURCE_DIR}/tests/recorder/test_window.cpp)
  set_target_properties(capture_bench_scene PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench/bin
    OUTPUT_NAME zov_test_window)
  target_link_libraries(capture_bench_scene PRIVATE zov_base X11::X11 X11::Xfixes)
  add_dependencies(capture_bench capture_bench_scene)
endif()
