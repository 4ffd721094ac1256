# The viewer's decode benchmark: the native side of bench/viewer_bench.mjs, which runs it
# beside the WebAssembly build in chromium and prints the ratios (see that file's header).
add_executable(viewer_bench_native ${CMAKE_CURRENT_LIST_DIR}/viewer_bench_native.cpp)
target_link_libraries(viewer_bench_native PRIVATE zov_viewer_logic benchmark::benchmark)
